#include "testing/PlqGenerator.h"

#include <stdexcept>

// Stand-in until the generator lands.
namespace plqgen {
int32_t RawSample(const RecordingSpec&, int, int32_t) { return 0; }
std::vector<unsigned char> MakeRecording(const RecordingSpec&) { return {}; }
void WriteRecording(const std::string&, const RecordingSpec&) {
    throw std::runtime_error("generator not built yet");
}
}  // namespace plqgen
