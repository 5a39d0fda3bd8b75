#pragma once
// The one console output routine of the converter and its libraries. No library prints
// on its own: every line goes to the installed sink, which by default writes messages to
// standard output and notices to standard error. A program (trq --json, say) or a test
// installs a sink of its own to collect the lines instead.

#include <cstddef>
#include <string_view>

// Size of the formatting buffer, terminating NUL included. A longer message is cut.
inline constexpr std::size_t kConsoleMessageCapacity = 16000;

class ConsoleSink {
  public:
    virtual ~ConsoleSink() = default;
    // One line of the program's output (the converter's progress and error messages).
    virtual void Message(std::string_view line) = 0;
    // One line of diagnostics for the operator: why something failed, a setting that was
    // cut, a lock being waited for. Never part of the program's regular output.
    virtual void Notice(std::string_view line) = 0;
};

// Formats printf-style into a 16000-byte buffer on the stack, converts the text to the
// console code page and hands it to the sink as one message line.
void ConsoleMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Formats printf-style (cut like ConsoleMessage) and hands the text to the sink as a
// notice. The default sink writes "<program>: <text>" and a newline to standard error.
void ConsoleNotice(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The program name the default sink puts before notices ("plq2trq" unless set).
void SetConsoleProgramName(const char* name);

// Installs `sink` (not owned) for the calling thread for the lifetime of this object and
// restores the previous one afterwards. Other threads keep their own sinks; a thread that
// installed none writes to the standard streams.
class ScopedConsoleSink {
  public:
    explicit ScopedConsoleSink(ConsoleSink& sink);
    ~ScopedConsoleSink();
    ScopedConsoleSink(const ScopedConsoleSink&) = delete;
    ScopedConsoleSink& operator=(const ScopedConsoleSink&) = delete;

  private:
    ConsoleSink* previous_;
};
