#pragma once
// Collects what the converter's libraries print, through the console sink: messages as
// they would appear on standard output, notices as lines of their own.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Console.h"

namespace testsupport {

class ConsoleLines : public ConsoleSink {
  public:
    ConsoleLines() : installed_(*this) {}
    void Message(std::string_view line) override { out.append(line).append("\n"); }
    void Notice(std::string_view line) override { notices.emplace_back(line); }

    std::string out;                   // every message line, each ended by "\n"
    std::vector<std::string> notices;  // every notice, without program name or newline

  private:
    ScopedConsoleSink installed_;
};

}  // namespace testsupport
