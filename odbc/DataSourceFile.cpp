#include "odbc/DataSourceFile.h"

#include <odbcinst.h>

#include <algorithm>
#include <array>
#include <cctype>
#include <filesystem>
#include <system_error>

namespace {

// A value of the configuration, empty when it is not there.
std::string ProfileValue(const std::string& section, const char* key, const char* file) {
    std::array<char, 4096> value{};
    const int length = SQLGetPrivateProfileString(section.c_str(), key, "", value.data(),
                                                  static_cast<int>(value.size()), file);
    return length > 0 ? std::string(value.data()) : std::string();
}

bool MentionsSqlite(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text.find("sqlite") != std::string::npos;
}

// The data source's driver is SQLite's: by the driver's name or by its library.
bool IsSqliteDataSource(const std::string& dataSource) {
    const std::string driver = ProfileValue(dataSource, "Driver", "odbc.ini");
    return MentionsSqlite(driver) || MentionsSqlite(ProfileValue(driver, "Driver", "odbcinst.ini"));
}

}  // namespace

std::string MissingDatabaseFile(const std::string& dataSource) {
    if (dataSource.empty() || !IsSqliteDataSource(dataSource)) return "";
    const std::string file = ProfileValue(dataSource, "Database", "odbc.ini");
    // An in-memory database, or none named: the driver's own answer is the one to give.
    if (file.empty() || file == ":memory:") return "";
    std::error_code error;
    if (std::filesystem::exists(file, error) || error) return "";
    const std::string of = "the database file " + file + " of data source " + dataSource;
    const std::filesystem::path directory = std::filesystem::path(file).parent_path();
    if (!directory.empty() && !std::filesystem::is_directory(directory, error)) {
        return "the directory " + directory.string() + " of " + of + " does not exist";
    }
    return of + " does not exist";
}
