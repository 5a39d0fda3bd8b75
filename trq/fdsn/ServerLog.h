#pragma once
// The server's lines on standard error: one access line per request, and notes on rows it
// refused and on catalog failures. Each line goes out in one write, so that lines of
// requests handled at once never interleave.

#include <cstdint>
#include <string>
#include <string_view>

namespace trq {

class ServerLog {
  public:
    // "trq serve: <text>", with the time in front.
    void Note(std::string_view text);
    // "<time> <client> "<method> <target> <version>" <status> <bytes> <ms>": the target
    // with control characters, '"' and '\' escaped, so that no request can forge a line.
    void Access(std::string_view client, std::string_view method, std::string_view target,
                std::string_view version, int status, int64_t bytes, double milliseconds);

  private:
    void WriteLine(const std::string& line);
};

// The current time, microseconds since 1970 UTC.
int64_t NowMicroseconds();

}  // namespace trq
