#include "trq/commands/InventoryOption.h"

#include <CLI/CLI.hpp>

#include "platform/IniFile.h"
#include "site/Settings.h"

namespace trq {

void AddInventoryOption(CLI::App& command, std::string& path) {
    command.add_option("--inventory", path,
                       "StationXML 1.1 file with the stations' network and location codes, "
                       "coordinates and responses (default: [FDSN] INVENTORY of the ini files)");
}

std::shared_ptr<const StationInventory> LoadInventory(const std::string& optionPath) {
    std::string path = optionPath;
    if (path.empty()) {
        const SettingsFiles files = DefaultSettingsFiles();
        for (const std::string& ini : {files.ownIni, files.trqIni}) {
            if (auto value = platform::IniFile::Read(ini).Find("FDSN", "INVENTORY")) {
                path = *value;
                break;
            }
        }
    }
    if (path.empty()) return nullptr;
    return std::make_shared<const StationInventory>(StationInventory::Read(path));
}

}  // namespace trq
