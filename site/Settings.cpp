#include "site/Settings.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "platform/Console.h"
#include "platform/IniFile.h"

namespace {

// What the profile reader returns for a missing file, section or key. A value ending in
// a backslash is never a setting: administrators end a value with one to mark it unset.
const std::string kMissing = "\\";
const std::string kFallbackWord = "TRQ";

bool EndsWithBackslash(const std::string& value) {
    // An empty value has no last character: it is a value like any other (e.g. a login
    // without a password), not the missing marker.
    return !value.empty() && value.back() == '\\';
}

// A data source name cannot be empty: "DSN=;" would make the driver manager quietly open
// some default source instead of the catalog. An empty name counts as unset.
bool IsUnsetDataSource(const std::string& value) {
    return value.empty() || EndsWithBackslash(value);
}

struct IniPair {
    const platform::IniFile& own;
    const platform::IniFile& trq;
};

// The value of a key of one file, cut to its buffer, with a warning when it is: a cut
// password simply fails to log in, and two long names cut alike would be taken for one.
std::string ValueOf(const platform::IniFile& file, const char* section, const char* key,
                    std::size_t capacity) {
    const std::string value = file.Value(section, key, kMissing, capacity);
    const std::optional<std::string> whole = file.Find(section, key);
    if (whole && whole->size() > value.size()) {
        ConsoleNotice("[%s] %s in %s is longer than %zu bytes: only the first %zu are used",
                      section, key, file.Path().c_str(), capacity - 1, value.size());
    }
    return value;
}

// The own ini's value, else trq.ini's; the result is still unset (`isUnset`) when neither
// file sets the key.
std::string LookUp(const IniPair& files, const char* section, const char* key, std::size_t capacity,
                   bool (*isUnset)(const std::string&) = EndsWithBackslash) {
    std::string value = ValueOf(files.own, section, key, capacity);
    if (isUnset(value)) value = ValueOf(files.trq, section, key, capacity);
    return value;
}

std::string LookUpWithFallback(const IniPair& files, const char* key, std::size_t capacity,
                               bool (*isUnset)(const std::string&) = EndsWithBackslash) {
    std::string value = LookUp(files, "DATABASE", key, capacity, isUnset);
    return isUnset(value) ? kFallbackWord : value;
}

bool IsUnsetNumber(const std::string& value) {
    char* end = nullptr;
    const long number = std::strtol(value.c_str(), &end, 10);
    return value.empty() || *end != '\0' || number < 0 || number > 86400;
}

}  // namespace

SettingsFiles DefaultSettingsFiles() {
    return {"./plq2trq.ini", PLQ_SYSCONFDIR "/trq.ini"};
}

ConnectionSettings ReadSettings(const SettingsFiles& files) {
    return ReadSettings(platform::IniFile::Read(files.ownIni),
                        platform::IniFile::Read(files.trqIni));
}

ConnectionSettings ReadSettings(const platform::IniFile& ownIni, const platform::IniFile& trqIni) {
    const IniPair files{ownIni, trqIni};
    ConnectionSettings settings;
    settings.dataSource = LookUpWithFallback(files, "ODBC", kDataSourceCapacity, IsUnsetDataSource);
    settings.user = LookUpWithFallback(files, "USER", kUserCapacity);
    settings.password = LookUpWithFallback(files, "PASSWORD", kPasswordCapacity);
    // A directory from trq.ini may end with its separator; that one character goes. With
    // neither file setting it, the removed character is the missing marker: an empty
    // directory, i.e. the current one.
    settings.dataDir = LookUp(files, "DATA", "DIR", kDataDirCapacity);
    if (EndsWithBackslash(settings.dataDir)) settings.dataDir.pop_back();
    const std::string wait = LookUp(files, "DATA", "LOCKWAIT", 16, IsUnsetNumber);
    if (!IsUnsetNumber(wait)) settings.stationLockWait = std::atoi(wait.c_str());
    const std::string timeout = LookUp(files, "DATABASE", "TIMEOUT", 16, IsUnsetNumber);
    if (!IsUnsetNumber(timeout) && std::atoi(timeout.c_str()) > 0) {
        settings.catalogTimeout = std::atoi(timeout.c_str());
    }
    return settings;
}

WatchSettings ReadWatchSettings(const platform::IniFile& ownIni, const platform::IniFile& trqIni) {
    const IniPair files{ownIni, trqIni};
    WatchSettings watch;
    const std::pair<const char*, int*> numbers[] = {{"QUIET", &watch.quietSeconds},
                                                    {"SCAN", &watch.scanSeconds},
                                                    {"RETRY", &watch.retrySeconds}};
    for (const auto& [key, value] : numbers) {
        const std::string text = LookUp(files, "WATCH", key, 16, IsUnsetNumber);
        if (!IsUnsetNumber(text)) *value = std::atoi(text.c_str());
    }
    watch.quietSeconds = std::max(watch.quietSeconds, 1);
    watch.scanSeconds = std::max(watch.scanSeconds, 1);
    watch.statePath = LookUp(files, "WATCH", "STATE", kDataDirCapacity);
    if (EndsWithBackslash(watch.statePath) || watch.statePath.empty()) {
        const std::string dataDir = ReadSettings(ownIni, trqIni).dataDir;
        watch.statePath = (dataDir.empty() ? "" : dataDir + "/") + kWatchStateFileName;
    }
    return watch;
}

WatchSettings ReadWatchSettings(const SettingsFiles& files) {
    return ReadWatchSettings(platform::IniFile::Read(files.ownIni),
                             platform::IniFile::Read(files.trqIni));
}
