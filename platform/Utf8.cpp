#include "platform/Utf8.h"

namespace platform {

namespace {

bool IsContinuationByte(unsigned char byte) {
    return (byte & 0xC0) == 0x80;
}

// Bytes of the sequence a lead byte starts; 1 for anything that starts no sequence.
std::size_t SequenceLength(unsigned char lead) {
    if ((lead & 0xE0) == 0xC0) return 2;
    if ((lead & 0xF0) == 0xE0) return 3;
    if ((lead & 0xF8) == 0xF0) return 4;
    return 1;
}

}  // namespace

std::size_t Utf8PrefixLength(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return text.size();
    const auto at = [&text](std::size_t i) { return static_cast<unsigned char>(text[i]); };
    if (!IsContinuationByte(at(maxBytes))) return maxBytes;
    // The cut falls on a continuation byte: find the lead byte of its sequence (at most
    // three bytes back) and keep the sequence out if it reaches past the cut.
    for (std::size_t back = 1; back <= 3 && back <= maxBytes; ++back) {
        const std::size_t lead = maxBytes - back;
        if (IsContinuationByte(at(lead))) continue;
        const std::size_t length = SequenceLength(at(lead));
        if (length <= back) return maxBytes;
        // Only a whole sequence is a character; bytes that start one but do not go on like
        // it (Latin-1 text, say) are characters of their own.
        for (std::size_t i = lead + 1; i < lead + length; ++i) {
            if (i >= text.size() || !IsContinuationByte(at(i))) return maxBytes;
        }
        return lead;
    }
    return maxBytes;
}

std::string CutUtf8(std::string_view text, std::size_t maxBytes) {
    return std::string(text.substr(0, Utf8PrefixLength(text, maxBytes)));
}

}  // namespace platform
