#include "odbc/ConnectString.h"

namespace connectstring {
namespace {

// How a value is written into the connect string. Every value is written as it stands, so
// one holding ';', '{' or '}', or blanks at either end, would be cut or misread by the
// driver manager. Such a value would have to go in braces, with each '}' doubled; this is
// the one place to do it.
std::string QuoteValue(std::string_view value) {
    return std::string(value);
}

}  // namespace

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
