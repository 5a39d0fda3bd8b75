#include "platform/Console.h"

#include <unistd.h>

#include <atomic>
#include <cstdarg>
#include <cstdio>
#include <string>

#include "platform/CodePage.h"

namespace {

std::string& ProgramName() {
    static std::string name = "plq2trq";
    return name;
}

// Standard output for messages, standard error for notices.
class StandardStreamsSink : public ConsoleSink {
  public:
    void Message(std::string_view line) override {
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fputc('\n', stdout);
    }
    void Notice(std::string_view line) override {
        // Standard output is buffered and standard error is not: flushing first keeps the
        // two in the order they were printed when both go to one terminal or file.
        std::fflush(stdout);
        // A progress line drawn in place gives way: the notice takes its line, and the next
        // state is drawn below it.
        if (drawn_.exchange(false)) std::fputs("\r\033[K", stderr);
        std::fprintf(stderr, "%s: %.*s\n", ProgramName().c_str(), static_cast<int>(line.size()),
                     line.data());
    }
    // On a terminal the state is drawn over the one before, with blanks after it for what
    // a longer one left; elsewhere (a log file) each state is a line.
    void Progress(std::string_view state) override {
        const int length = static_cast<int>(state.size());
        if (state.empty()) {
            if (drawn_.exchange(false)) std::fputc('\n', stderr);
        } else if (ProgressInPlace()) {
            std::fprintf(stderr, "\r%.*s   ", length, state.data());
            drawn_ = true;
        } else {
            std::fprintf(stderr, "%.*s\n", length, state.data());
        }
        std::fflush(stderr);
    }
    bool ProgressInPlace() const override {
        static const bool terminal = isatty(STDERR_FILENO) != 0;
        return terminal;
    }

  private:
    std::atomic<bool> drawn_{false};  // a state stands on the current line
};

// Each thread has its own installed sink, so that workers converting recordings side by
// side each collect their own lines; every thread starts with the standard streams.
ConsoleSink*& InstalledSink() {
    static StandardStreamsSink standardStreams;
    thread_local ConsoleSink* sink = &standardStreams;
    return sink;
}

}  // namespace

void ConsoleMessage(const char* format, ...) {
    char buffer[kConsoleMessageCapacity];
    va_list args;
    va_start(args, format);
    // vsnprintf cuts a longer message and always terminates it.
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    platform::CharToOem(buffer);
    InstalledSink()->Message(buffer);
}

void ConsoleMessageLine(std::string_view line) {
    std::string text(line);
    platform::CharToOem(text.data());
    InstalledSink()->Message(text);
}

void ConsoleNotice(const char* format, ...) {
    char buffer[kConsoleMessageCapacity];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    InstalledSink()->Notice(buffer);
}

ConsoleSink& InstalledConsoleSink() {
    return *InstalledSink();
}

void SetConsoleProgramName(const char* name) {
    ProgramName() = name;
}

ScopedConsoleSink::ScopedConsoleSink(ConsoleSink& sink) : previous_(InstalledSink()) {
    InstalledSink() = &sink;
}

ScopedConsoleSink::~ScopedConsoleSink() {
    InstalledSink() = previous_;
}
