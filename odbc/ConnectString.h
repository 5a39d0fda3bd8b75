#pragma once
// Composing the connect string handed to the driver manager: attribute/value pairs, in the
// order given, each written as "ATTR=value;".

#include <string>
#include <string_view>
#include <vector>

namespace connectstring {

struct Attribute {
    std::string_view name;   // DSN, UID, PWD, ...
    std::string_view value;  // in braces when it holds ';', '{', '}' or outer blanks
};

// "NAME=value;" for each attribute in turn: {{"DSN","Arch"},{"UID","op"}} gives
// "DSN=Arch;UID=op;"; {{"PWD","a;b}"}} gives "PWD={a;b}}};". An empty list gives "".
std::string Build(const std::vector<Attribute>& attributes);

// True when `value` cannot stand in a connect string as it is (see Build).
bool NeedsBraces(std::string_view value);

}  // namespace connectstring
