#pragma once
// The one JSON document a subcommand prints with --json.

#include <nlohmann/json.hpp>
#include <ostream>

namespace trq {

// Indented, one document plus a newline. Texts from files that are not valid UTF-8 (a
// station name in a legacy code page) are written with U+FFFD in place of the bad bytes
// rather than failing.
inline void WriteJson(std::ostream& out, const nlohmann::json& document) {
    out << document.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) << "\n";
}

}  // namespace trq
