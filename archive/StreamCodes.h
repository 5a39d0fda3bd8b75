#pragma once
// The one rule for the codes a miniSEED 2 record header carries, which the archive's names
// must meet to leave the archive as miniSEED: letters and digits only, a station code of 1
// to 5 characters, a channel code of 1 to 3 (the network's 1 to 2 and the location's 0 to 2
// are options of the toolkit). The converter warns of a station name that breaks it, trq
// export refuses such files, and trq serve leaves such streams out.

#include <cstddef>
#include <string>
#include <string_view>

// Why `code` cannot fill a record header's field of `minLength` to `maxLength`
// characters, or "" when it can: "\"ABCDEFG\" is 7 characters; a SEED record holds 1 to
// 5", "\"X Z\" holds a character other than A-Z, a-z and 0-9". A code is never cut to fit:
// that could give it another stream's name.
std::string SeedCodeProblem(std::string_view code, std::size_t minLength, std::size_t maxLength);

// Why a stream's station and channel names cannot be its station and channel codes, the
// station's reason first: "station ..." or "channel ..." and SeedCodeProblem's text; or "".
std::string StreamCodeProblem(std::string_view station, std::string_view channel);

// Whether a station name can be a miniSEED station code.
bool IsMiniSeedStationCode(std::string_view station);
