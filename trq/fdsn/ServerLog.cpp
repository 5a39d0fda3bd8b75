#include "trq/fdsn/ServerLog.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <mutex>

#include "recorder/UtcTime.h"

namespace trq {

namespace {

// Control characters as \xHH, so that no text can start a line of its own; in quoted
// fields '"' and '\\' too.
std::string Escaped(std::string_view text, bool quoted = true) {
    std::string escaped;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7f || (quoted && (c == '"' || c == '\\'))) {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02x", byte);
            escaped += hex;
        } else {
            escaped += c;
        }
    }
    return escaped;
}

}  // namespace

int64_t NowMicroseconds() {
    return std::chrono::duration_cast<std::chrono::microseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

void ServerLog::Note(std::string_view text) {
    WriteLine(FormatIsoUtcMicroseconds(NowMicroseconds()) + " trq serve: " + Escaped(text, false));
}

void ServerLog::Access(std::string_view client, std::string_view method, std::string_view target,
                       std::string_view version, int status, int64_t bytes, double milliseconds) {
    char figures[64];
    std::snprintf(figures, sizeof figures, " %d %lld %.1f", status, static_cast<long long>(bytes),
                  milliseconds);
    WriteLine(FormatIsoUtcMicroseconds(NowMicroseconds()) + " " + Escaped(client) + " \"" +
              Escaped(method) + " " + Escaped(target) + " " + Escaped(version) + "\"" + figures);
}

void ServerLog::WriteLine(const std::string& line) {
    static std::mutex mutex;
    const std::string text = line + "\n";
    std::lock_guard lock(mutex);
    // One write per line; a full pipe only delays it, a closed one loses the line.
    std::size_t written = 0;
    while (written < text.size()) {
        const ssize_t n = ::write(STDERR_FILENO, text.data() + written, text.size() - written);
        if (n <= 0) return;
        written += static_cast<std::size_t>(n);
    }
}

}  // namespace trq
