#include "trq/commands/EncodingOption.h"

#include <CLI/CLI.hpp>
#include <iterator>

#include "trq/mseed/EncodingChoice.h"

namespace trq {

void AddEncodingOption(CLI::App& command, std::string& choice) {
    command
        .add_option("--encoding", choice,
                    "auto: Steim-2 for a trace whose every sample it carries exactly, else "
                    "float32; steim2: Steim-2, refusing a trace it cannot carry exactly; "
                    "float32: float32 always")
        ->check(CLI::IsMember(
            std::vector<std::string>(std::begin(kEncodingChoices), std::end(kEncodingChoices))))
        ->capture_default_str();
}

}  // namespace trq
