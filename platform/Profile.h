#pragma once
// Profile (ini file) reading, as the converter's settings and channel map need it.
//
// Matching rules: section and key names match without regard to letter case; blanks
// around names and values are trimmed; lines starting with ';' are comments; a missing
// file or section reads as the default. When a key occurs twice in a section, the
// first occurrence gives the value (the key list still lists it once per line).

#include <cstddef>
#include <string>
#include <vector>

namespace platform {

// The value of `key` in `section` of the ini file at `path`, or `defaultValue` when the
// file, section or key is missing, cut to at most `capacity - 1` characters (the capacity
// counts a terminating NUL, as a caller's fixed buffer would).
std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              std::size_t capacity);

// The names of all keys of `section`, in file order. The list is laid out as a
// NUL-separated sequence ended by an extra NUL in a buffer of `capacity` bytes: names that
// do not fit are dropped, and the last name that fits only in part is cut.
std::vector<std::string> ReadProfileKeys(const std::string& path, const std::string& section,
                                         std::size_t capacity);

}  // namespace platform
