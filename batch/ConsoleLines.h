#pragma once
// The lines one recording's conversion prints, kept instead of shown: a batch shows its
// progress, each recording's notices as it finishes, and its summary, but not the classic
// form's progress messages of every recording.

#include <string>
#include <vector>

#include "platform/Console.h"

class ConsoleLines : public ConsoleSink {
  public:
    ConsoleLines() : installed_(*this) {}
    void Message(std::string_view line) override;
    void Notice(std::string_view line) override;
    // The "ERROR: ..." messages and every notice, in the order printed.
    const std::vector<std::string>& Errors() const { return errors_; }
    // The notices alone: what the classic form prints on standard error.
    const std::vector<std::string>& Notices() const { return notices_; }

  private:
    std::vector<std::string> errors_;
    std::vector<std::string> notices_;
    ScopedConsoleSink installed_;
};
