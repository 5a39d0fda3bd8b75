#pragma once
// What --encoding asks for, with one meaning in `trq export` and `trq serve`:
//   auto     Steim-2 for a trace whose every sample it carries exactly, else float32
//   steim2   Steim-2; a trace it cannot carry exactly is refused, never sent as float32
//   float32  float32 always
// A trace's encoding is chosen for the whole trace, never record by record: readers on
// libmseed 2 (mseed2sac) drop the record where integer and float samples meet.

#include <functional>
#include <stdexcept>
#include <string_view>

#include "trq/mseed/MiniSeedPacker.h"

namespace trq {

// The values of --encoding, the default first.
inline constexpr const char* kEncodingChoices[] = {"auto", "steim2", "float32"};

// --encoding steim2 and a trace whose samples Steim-2 cannot carry exactly.
class Steim2Refusal : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// Whether `choice` may refuse a trace (steim2), so that a server must choose every trace's
// encoding before it sends a byte: a refusal half-way through an answer helps no one.
bool ChoiceMayRefuse(std::string_view choice);

// The encoding `choice` (one of kEncodingChoices) gives the trace of `station` and
// `channel`. `steim2Carries` tells whether Steim-2 carries its every sample exactly
// (Steim2Carries); it is asked only when the choice depends on it, as it may have to read
// the trace. Throws Steim2Refusal.
MiniSeedEncoding ChooseEncoding(std::string_view choice, const std::function<bool()>& steim2Carries,
                                std::string_view station, std::string_view channel);

}  // namespace trq
