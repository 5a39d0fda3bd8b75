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
    // The state of a long run ("3/10 recordings, 1.2 MB/s, 40 s left") in place of the one
    // told before; an empty state ends the run's progress, so that what follows starts on a
    // line of its own. A sink that keeps lines passes progress by, as this default does: the
    // next state replaces each one anyway. The default sink writes to standard error: on a
    // terminal one line rewritten in place, elsewhere a line of its own for each state.
    virtual void Progress(std::string_view /*state*/) {}
    // Whether every state of a run's progress can be shown (one line rewritten in place, as
    // on a terminal); when not, a caller tells a state seldom. The default sink does on a
    // terminal.
    virtual bool ProgressInPlace() const { return false; }
};

// Formats printf-style into a 16000-byte buffer on the stack, converts the text to the
// console code page and hands it to the sink as one message line.
void ConsoleMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The same as ConsoleMessage("%s", line), but whole however long: for a line made
// elsewhere (a batch's dry run names every archive file of a recording on one line).
void ConsoleMessageLine(std::string_view line);

// Formats printf-style (cut like ConsoleMessage) and hands the text to the sink as a
// notice. The default sink writes "<program>: <text>" and a newline to standard error.
void ConsoleNotice(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The calling thread's sink: for work on threads of its own (whose sinks are their own) to
// tell its progress (ConsoleSink::Progress) where the thread that started it writes. The
// caller makes its calls one at a time.
ConsoleSink& InstalledConsoleSink();

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
