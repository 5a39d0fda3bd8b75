#pragma once
// --encoding of `trq export` and `trq serve`: one option, one meaning (trq/mseed/EncodingChoice.h).

#include <string>

namespace CLI {
class App;
}

namespace trq {

// Adds --encoding auto|steim2|float32 to `command`, stored in `choice`.
void AddEncodingOption(CLI::App& command, std::string& choice);

}  // namespace trq
