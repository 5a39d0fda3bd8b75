#include "odbc/ConnectString.h"

namespace connectstring {
namespace {

// How a value is written into the connect string. A value holding ';', '{' or '}', or
// blanks at either end, would be cut or misread by the driver manager (a password
// "x;Database=o.db" would even add an attribute): it goes in braces, each '}' doubled, as
// connect strings allow. Every other value is written as it stands.
std::string QuoteValue(std::string_view value) {
    if (!NeedsBraces(value)) return std::string(value);
    std::string quoted = "{";
    for (char c : value) {
        quoted += c;
        if (c == '}') quoted += '}';
    }
    return quoted + "}";
}

}  // namespace

bool NeedsBraces(std::string_view value) {
    return value.find_first_of(";{}") != std::string_view::npos ||
           (!value.empty() && (value.front() == ' ' || value.back() == ' '));
}

std::string Build(const std::vector<Attribute>& attributes) {
    std::string connect;
    for (const Attribute& attribute : attributes) {
        connect += attribute.name;
        connect += '=';
        connect += QuoteValue(attribute.value);
        connect += ';';
    }
    return connect;
}

}  // namespace connectstring
