#include "batch/ConsoleLines.h"

void ConsoleLines::Message(std::string_view line) {
    if (line.starts_with("ERROR")) errors_.emplace_back(line);
}

void ConsoleLines::Notice(std::string_view line) {
    errors_.emplace_back(line);
    notices_.emplace_back(line);
}
