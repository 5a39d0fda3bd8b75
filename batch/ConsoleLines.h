#pragma once
// The lines one recording's conversion prints, kept instead of shown: a batch shows only
// its progress and summary, and a failed recording's error lines and notices in it.

#include <string>
#include <vector>

#include "platform/Console.h"

class ConsoleLines : public ConsoleSink {
  public:
    ConsoleLines() : installed_(*this) {}
    void Message(std::string_view line) override;
    void Notice(std::string_view line) override { errors_.emplace_back(line); }
    // The "ERROR: ..." messages and every notice, in the order printed.
    const std::vector<std::string>& Errors() const { return errors_; }

  private:
    std::vector<std::string> errors_;
    ScopedConsoleSink installed_;
};
