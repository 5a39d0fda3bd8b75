#include "trq/commands/ConsoleCollector.h"

#include <cstdio>

namespace trq {

void ConsoleCollector::Message(std::string_view text) {
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string_view::npos;
         start = end + 1) {
        lines.emplace_back(text.substr(start, end - start));
    }
    lines.emplace_back(text.substr(start));
}

void ConsoleCollector::Notice(std::string_view text) {
    std::fprintf(stderr, "trq: %.*s\n", static_cast<int>(text.size()), text.data());
}

}  // namespace trq
