#pragma once
// Collects what the converter's libraries print while a --json command runs, so that
// standard output keeps its one document and the lines are reported inside it. Notices
// (diagnostics for the operator) still go to standard error.

#include <string>
#include <string_view>
#include <vector>

#include "platform/Console.h"

namespace trq {

class ConsoleCollector : public ConsoleSink {
  public:
    ConsoleCollector() : previous_(*this) {}
    // One entry per printed line, without its newline: a message that holds newlines
    // gives several, as it would on a terminal.
    void Message(std::string_view text) override;
    void Notice(std::string_view text) override;

    std::vector<std::string> lines;

  private:
    ScopedConsoleSink previous_;
};

}  // namespace trq
