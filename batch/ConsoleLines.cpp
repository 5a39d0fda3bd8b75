#include "batch/ConsoleLines.h"

void ConsoleLines::Message(std::string_view line) {
    if (line.starts_with("ERROR")) errors_.emplace_back(line);
}
