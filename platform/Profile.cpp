#include "platform/Profile.h"

#include <ini.h>
#include <strings.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

// The ini files are parsed by inih. Its Debian build is compiled with options that would
// change what a value means: a ';' after a blank starts an inline comment, an indented
// line continues the previous value, ':' separates a name from its value as '=' does, a
// line starting with '#' is a comment, a line is cut into 199-byte pieces and a section
// name to 49 bytes. Those options cannot be switched off at run time, so the converter
// hands inih every line through LiteralLineReader, in a form none of them can touch:
//  - leading blanks are removed, so no line is a continuation line;
//  - ';', '#', ':' and the escape byte itself are written as two-byte escapes, so inih
//    sees neither comment characters nor a second separator (a line that starts with ';'
//    is a comment and is handed over as an empty line);
//  - a line that would not fit inih's buffers is kept aside and replaced by a short
//    stand-in that names it.
// The handler undoes the escapes and resolves the stand-ins, so every name and value
// arrives exactly as written, trimmed of blanks.
namespace platform {

namespace {

constexpr char kEscape = '\x01';
constexpr char kStandIn = 'L';  // kEscape kStandIn <line number>: a line kept aside
// Longest section name inih keeps whole (its section buffer holds 50 bytes).
constexpr std::size_t kInihSectionLimit = 49;
// inih's line buffer holds 200 bytes; a stand-in line needs far less than this.
constexpr int kSmallestBuffer = 32;

// The two-byte escape for each character inih would interpret.
char EscapeCode(char c) {
    switch (c) {
        case kEscape:
            return 'a';
        case ';':
            return 'b';
        case '#':
            return 'c';
        case ':':
            return 'd';
        default:
            return '\0';
    }
}

char Unescaped(char code) {
    switch (code) {
        case 'a':
            return kEscape;
        case 'b':
            return ';';
        case 'c':
            return '#';
        case 'd':
            return ':';
        default:
            return code;
    }
}

bool IsBlank(char c) {
    return c != '\0' && std::strchr(" \t\r\n\v\f", c) != nullptr;
}

std::string_view Trimmed(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool SameName(std::string_view a, std::string_view b) {
    return a.size() == b.size() && ::strncasecmp(a.data(), b.data(), a.size()) == 0;
}

struct ProfileEntry {
    std::string section;
    std::string name;
    std::string value;
};

// Feeds inih the lines of an ini text one at a time (see the comment at the top).
class LiteralLineReader {
  public:
    explicit LiteralLineReader(std::string text) : text_(std::move(text)) {
        // A UTF-8 byte order mark (as some editors write) is no part of the first line.
        if (text_.starts_with("\xEF\xBB\xBF")) position_ = 3;
    }

    // inih's line reader: fills `buffer` (of `capacity` bytes) with the next line.
    static char* Next(char* buffer, int capacity, void* self) {
        return static_cast<LiteralLineReader*>(self)->NextLine(buffer, capacity);
    }

    // The line that the stand-in `text` names, or nullptr when `text` is no stand-in.
    const std::string* KeptAside(std::string_view text) const {
        if (text.size() < 3 || text[0] != kEscape || text[1] != kStandIn) return nullptr;
        std::size_t index = std::stoul(std::string(text.substr(2)));
        return index < keptAside_.size() ? &keptAside_[index] : nullptr;
    }

  private:
    char* NextLine(char* buffer, int capacity) {
        if (position_ >= text_.size() || capacity < kSmallestBuffer) return nullptr;
        std::size_t end = text_.find('\n', position_);
        if (end == std::string::npos) end = text_.size();
        std::string_view line = Trimmed(std::string_view(text_).substr(position_, end - position_));
        position_ = end + 1;

        std::string handed = Handed(line, static_cast<std::size_t>(capacity)) + '\n';
        std::memcpy(buffer, handed.c_str(), handed.size() + 1);
        return buffer;
    }

    // What inih gets for `line`: nothing for comments, blank lines and lines that are
    // neither a section nor a name=value line; else the escaped line or its stand-in.
    std::string Handed(std::string_view line, std::size_t capacity) {
        const bool isSection = !line.empty() && line.front() == '[';
        const std::size_t separator = line.find(isSection ? ']' : '=');
        if (line.empty() || line.front() == ';' || separator == std::string_view::npos) {
            return {};
        }
        std::string escaped = Escaped(line);
        bool fits = escaped.size() + 2 <= capacity;  // room for the newline and the NUL
        if (isSection) fits = fits && escaped.find(']') - 1 <= kInihSectionLimit;
        return fits ? escaped : StandIn(line, isSection);
    }

    static std::string Escaped(std::string_view line) {
        std::string out;
        out.reserve(line.size() + 8);
        for (char c : line) {
            char code = EscapeCode(c);
            if (code != '\0') {
                out += kEscape;
                out += code;
            } else {
                out += c;
            }
        }
        return out;
    }

    // A short line of the same kind as `line` (section or name=value) naming the line kept aside.
    std::string StandIn(std::string_view line, bool isSection) {
        std::string name = std::string{kEscape, kStandIn} + std::to_string(keptAside_.size());
        keptAside_.emplace_back(line);
        return isSection ? "[" + name + "]" : name + "=";
    }

    std::string text_;
    std::size_t position_ = 0;
    std::vector<std::string> keptAside_;
};

std::string Unescape(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == kEscape && i + 1 < text.size()) {
            out += Unescaped(text[++i]);
        } else {
            out += text[i];
        }
    }
    return out;
}

struct ParseState {
    LiteralLineReader* reader;
    std::vector<ProfileEntry>* entries;
};

// Called by inih for every name=value line, with the section it belongs to.
int OnEntry(void* user, const char* section, const char* name, const char* value) {
    auto& state = *static_cast<ParseState*>(user);
    ProfileEntry entry;
    if (const std::string* line = state.reader->KeptAside(section)) {
        std::string_view text(*line);
        text.remove_prefix(1);
        entry.section = Trimmed(text.substr(0, text.find(']')));
    } else {
        entry.section = Trimmed(Unescape(section));
    }
    if (const std::string* line = state.reader->KeptAside(name)) {
        std::string_view text(*line);
        std::size_t equals = text.find('=');
        entry.name = Trimmed(text.substr(0, equals));
        entry.value = Trimmed(text.substr(equals + 1));
    } else {
        entry.name = Unescape(name);
        entry.value = Unescape(value);
    }
    // A line "=value" has no name; it can neither be asked for nor listed.
    if (!entry.name.empty()) state.entries->push_back(std::move(entry));
    return 1;
}

// Every entry of the ini file at `path`, in file order; none when it cannot be read.
std::vector<ProfileEntry> ReadEntries(const std::string& path) {
    std::vector<ProfileEntry> entries;
    std::ifstream in(path, std::ios::binary);
    if (!in) return entries;
    std::ostringstream text;
    text << in.rdbuf();
    LiteralLineReader reader(text.str());
    ParseState state{&reader, &entries};
    // inih reports lines it could not parse (no '=', no closing ']') by number and goes on;
    // such lines are simply not entries, as in any profile file.
    ini_parse_stream(&LiteralLineReader::Next, &reader, &OnEntry, &state);
    return entries;
}

}  // namespace

std::string ReadProfileString(const std::string& path, const std::string& section,
                              const std::string& key, const std::string& defaultValue,
                              std::size_t capacity) {
    const std::size_t longest = capacity > 0 ? capacity - 1 : 0;
    for (const ProfileEntry& entry : ReadEntries(path)) {
        if (SameName(entry.section, section) && SameName(entry.name, key)) {
            return entry.value.substr(0, longest);
        }
    }
    return defaultValue.substr(0, longest);
}

std::vector<std::string> ReadProfileKeys(const std::string& path, const std::string& section,
                                         std::size_t capacity) {
    std::vector<std::string> names;
    // Bytes of the laid-out list so far; the closing NUL needs one more.
    std::size_t used = 0;
    for (const ProfileEntry& entry : ReadEntries(path)) {
        if (!SameName(entry.section, section)) continue;
        if (used + entry.name.size() + 2 <= capacity) {
            names.push_back(entry.name);
            used += entry.name.size() + 1;
            continue;
        }
        // The last name that fits only in part is cut; a name cut to nothing is dropped.
        if (used + 3 <= capacity) names.push_back(entry.name.substr(0, capacity - used - 2));
        break;
    }
    return names;
}

}  // namespace platform
