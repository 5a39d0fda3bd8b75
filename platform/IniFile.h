#pragma once
// An ini file, read and parsed once, that answers the value of a key and the entries of a
// section.
//
// The rules are those of the profile files the settings have always been written in, and
// every value is taken literally:
//  - lines are trimmed of blanks; an empty line or one starting with ';' is a comment;
//  - "[name]" starts a section (text after the ']' is ignored; a line with '[' and no ']'
//    is ignored and the section goes on); a section may appear more than once;
//  - "name=value" is an entry of the current section, split at the first '='; name and
//    value are trimmed; ';', '#', ':' and quotes inside them are plain characters; a line
//    without '=' or with an empty name is ignored, as is anything before the first section;
//  - section and key names match without regard to ASCII letter case;
//  - a UTF-8 byte order mark at the start is skipped; lines may end in CR LF.
// A file that is missing or cannot be read is an empty file.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

struct IniEntry {
    std::string section;
    std::string name;
    std::string value;
};

class IniFile {
  public:
    IniFile() = default;
    static IniFile Read(const std::string& path);
    static IniFile Parse(std::string_view text);

    // The value of the first entry `key` of a section named `section`, or nothing.
    std::optional<std::string> Find(std::string_view section, std::string_view key) const;
    // Find's value, or `defaultValue`, cut to `capacity - 1` bytes without splitting a
    // UTF-8 character (the capacity counts a terminating NUL, as a fixed buffer would).
    std::string Value(std::string_view section, std::string_view key, std::string_view defaultValue,
                      std::size_t capacity) const;
    // The entries of every section named `section`, in file order.
    std::vector<IniEntry> Entries(std::string_view section) const;
    // The path it was read from (empty for a parsed text).
    const std::string& Path() const { return path_; }

  private:
    std::string path_;
    std::vector<IniEntry> entries_;
};

// True when `a` and `b` are equal but for ASCII letter case.
bool SameIniName(std::string_view a, std::string_view b);

}  // namespace platform
