#pragma once
// The content hash of a file: SHA-256, as 64 lower-case hex digits (what `sha256sum`
// prints), read a piece at a time so that memory does not grow with the file. The record of
// recordings tells a recording changed at the same path by it; archive files may be
// checksummed the same way.

#include <string>

namespace platform {

// The SHA-256 of the file at `path`; empty, with the reason ("open PATH: ...") in `error`,
// when it cannot be read whole.
std::string FileSha256(const std::string& path, std::string& error);

}  // namespace platform
