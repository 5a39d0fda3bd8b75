#include "platform/IniFile.h"

#include <strings.h>

#include <fstream>
#include <sstream>

#include "platform/Utf8.h"

namespace platform {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

// The next line of `text` from `position` (without its '\n'); moves `position` past it.
std::string_view NextLine(std::string_view text, std::size_t& position) {
    std::size_t end = text.find('\n', position);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(position, end - position);
    position = end + 1;
    return line;
}

}  // namespace

bool SameIniName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

IniFile IniFile::Read(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    if (in) text << in.rdbuf();
    IniFile file = Parse(text.str());
    file.path_ = path;
    return file;
}

IniFile IniFile::Parse(std::string_view text) {
    IniFile file;
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
    std::string section;
    bool inSection = false;
    for (std::size_t position = 0; position < text.size();) {
        const std::string_view line = Trimmed(NextLine(text, position));
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[') {
            const std::size_t close = line.find(']');
            if (close == std::string_view::npos) continue;
            section = Trimmed(line.substr(1, close - 1));
            inSection = true;
            continue;
        }
        const std::size_t equals = line.find('=');
        if (!inSection || equals == std::string_view::npos) continue;
        const std::string_view name = Trimmed(line.substr(0, equals));
        if (name.empty()) continue;
        file.entries_.push_back(
            {section, std::string(name), std::string(Trimmed(line.substr(equals + 1)))});
    }
    return file;
}

std::optional<std::string> IniFile::Find(std::string_view section, std::string_view key) const {
    for (const IniEntry& entry : entries_) {
        if (SameIniName(entry.section, section) && SameIniName(entry.name, key)) {
            return entry.value;
        }
    }
    return std::nullopt;
}

std::string IniFile::Value(std::string_view section, std::string_view key,
                           std::string_view defaultValue, std::size_t capacity) const {
    const std::size_t longest = capacity > 0 ? capacity - 1 : 0;
    const std::optional<std::string> found = Find(section, key);
    return CutUtf8(found ? std::string_view(*found) : defaultValue, longest);
}

std::vector<IniEntry> IniFile::Entries(std::string_view section) const {
    std::vector<IniEntry> entries;
    for (const IniEntry& entry : entries_) {
        if (SameIniName(entry.section, section)) entries.push_back(entry);
    }
    return entries;
}

}  // namespace platform
