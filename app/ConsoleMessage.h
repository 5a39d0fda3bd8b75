#pragma once
// The one console output routine: every line the converter prints goes through it.

#include <cstddef>

// Size of the formatting buffer, terminating NUL included. A longer message is cut.
inline constexpr std::size_t kConsoleMessageCapacity = 16000;

// Formats printf-style into a 16000-byte buffer on the stack, converts the text to the
// console code page and writes it plus one newline to standard output.
void ConsoleMessage(const char* format, ...) __attribute__((format(printf, 1, 2)));
