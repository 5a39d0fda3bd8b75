#pragma once
// Cutting texts to a byte limit without splitting a character. Station and channel names
// and ini values may be UTF-8; a name cut inside a character would end in a stray byte
// that directories, headers and catalogs then carry for good (PostgreSQL refuses it).

#include <cstddef>
#include <string>
#include <string_view>

namespace platform {

// The length of the longest prefix of `text` of at most `maxBytes` bytes that does not end
// inside a UTF-8 sequence. Bytes that do not form a UTF-8 sequence count as characters of
// their own, so text in a single-byte code page is cut at exactly `maxBytes`.
std::size_t Utf8PrefixLength(std::string_view text, std::size_t maxBytes);

// `text` cut to Utf8PrefixLength(text, maxBytes) bytes.
std::string CutUtf8(std::string_view text, std::size_t maxBytes);

}  // namespace platform
