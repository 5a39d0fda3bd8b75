#pragma once
// The inventory of `trq serve` and `trq export`: the file --inventory names, else [FDSN]
// INVENTORY of ./plq2trq.ini, else of the system's trq.ini; none when neither names one.

#include <memory>
#include <string>

#include "trq/inventory/StationInventory.h"

namespace CLI {
class App;
}

namespace trq {

// Adds --inventory FILE to `command`.
void AddInventoryOption(CLI::App& command, std::string& path);

// The inventory, read once; null when no file is named. Throws InventoryError.
std::shared_ptr<const StationInventory> LoadInventory(const std::string& optionPath);

}  // namespace trq
