#include "platform/Console.h"

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
        std::fprintf(stderr, "%s: %.*s\n", ProgramName().c_str(), static_cast<int>(line.size()),
                     line.data());
    }
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

void ConsoleNotice(const char* format, ...) {
    char buffer[kConsoleMessageCapacity];
    va_list args;
    va_start(args, format);
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    InstalledSink()->Notice(buffer);
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
