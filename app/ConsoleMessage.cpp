#include "app/ConsoleMessage.h"

#include <cstdarg>
#include <cstdio>

#include "platform/CodePage.h"

void ConsoleMessage(const char* format, ...) {
    char buffer[kConsoleMessageCapacity];
    va_list args;
    va_start(args, format);
    // vsnprintf cuts a longer message and always terminates it.
    std::vsnprintf(buffer, sizeof buffer, format, args);
    va_end(args);
    platform::CharToOem(buffer);
    std::fputs(buffer, stdout);
    std::fputc('\n', stdout);
}
