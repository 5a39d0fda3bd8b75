#pragma once
// Catches what the converter's code prints on standard output (it writes every line there
// through ConsoleMessage), so that a --json run keeps standard output for its one document
// and reports the converter's lines inside it.

#include <string>
#include <vector>

namespace trq {

class ConsoleCapture {
  public:
    // Flushes standard output and points file descriptor 1 at a temporary file. Throws
    // std::runtime_error naming the failed call.
    ConsoleCapture();
    // Restores standard output if Finish was not called; never throws.
    ~ConsoleCapture();
    ConsoleCapture(const ConsoleCapture&) = delete;
    ConsoleCapture& operator=(const ConsoleCapture&) = delete;

    // Restores standard output and returns the lines printed meanwhile, without their
    // newline characters.
    std::vector<std::string> Finish();

  private:
    void Restore() noexcept;

    int savedStdout_ = -1;
    int captureFd_ = -1;
};

}  // namespace trq
