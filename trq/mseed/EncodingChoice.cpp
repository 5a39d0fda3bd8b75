#include "trq/mseed/EncodingChoice.h"

#include <string>

namespace trq {

bool ChoiceMayRefuse(std::string_view choice) {
    return choice == "steim2";
}

MiniSeedEncoding ChooseEncoding(std::string_view choice, const std::function<bool()>& steim2Carries,
                                std::string_view station, std::string_view channel) {
    if (choice == "float32") return MiniSeedEncoding::kFloat32;
    if (steim2Carries()) return MiniSeedEncoding::kSteim2;
    if (ChoiceMayRefuse(choice)) {
        throw Steim2Refusal("--encoding steim2: Steim-2 cannot carry the samples of " +
                            std::string(station) + " " + std::string(channel) +
                            " exactly (not whole numbers, or steps beyond 30 bits)");
    }
    return MiniSeedEncoding::kFloat32;
}

}  // namespace trq
