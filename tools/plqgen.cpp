// plqgen OUT.plq [options]: writes a PLQ recorder file with synthetic signals, for trying
// the converter out, for tests and for benchmarks. Every header field can be set, also to
// values no recorder writes, and the file can be made longer or shorter than its header
// announces.

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdio>
#include <exception>
#include <map>
#include <string>

#include "testing/PlqGenerator.h"

namespace {

// "YYYY-MM-DDThh:mm:ss" with an optional ".mmm"; the year is stored as written.
bool ParseStart(const std::string& text, plqgen::RecordingSpec& spec) {
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0, millisecond = 0;
    int consumed = 0;
    if (std::sscanf(text.c_str(), "%d-%d-%dT%d:%d:%d%n", &year, &month, &day, &hour, &minute,
                    &second, &consumed) != 6) {
        return false;
    }
    // Up to three digits of a fraction of a second: ".5" is 500 ms.
    std::size_t position = static_cast<std::size_t>(consumed);
    if (position < text.size() && text[position] == '.') {
        int digits = 0;
        for (++position; position < text.size() &&
                         std::isdigit(static_cast<unsigned char>(text[position])) && digits < 3;
             ++position, ++digits) {
            millisecond = millisecond * 10 + (text[position] - '0');
        }
        if (digits == 0) return false;
        for (; digits < 3; ++digits) millisecond *= 10;
    }
    if (position != text.size()) return false;
    spec.year = static_cast<int16_t>(year);
    spec.month = static_cast<int16_t>(month);
    spec.day = static_cast<int16_t>(day);
    spec.hour = static_cast<int16_t>(hour);
    spec.minute = static_cast<int16_t>(minute);
    spec.second = static_cast<int16_t>(second);
    spec.millisecond = static_cast<int16_t>(millisecond);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    plqgen::RecordingSpec spec;
    std::string outPath;
    std::string start;

    CLI::App app{"Writes a PLQ recorder file (header, channel blocks, synthetic samples)."};
    app.add_option("output", outPath, "Path of the file to write")->required();
    app.add_option("--format", spec.sampleFormat,
                   "Sample format code: 0 gain-ranged 16 bit, 1 negated int32, other int32")
        ->capture_default_str();
    app.add_option("--channels", spec.channelCount, "Number of channel blocks")
        ->capture_default_str();
    app.add_option("--rate", spec.samplesPerSecond, "Samples per second")->capture_default_str();
    app.add_option("--samples", spec.samplesPerChannel, "Samples per channel")
        ->capture_default_str();
    app.add_option("--start", start,
                   "Start time YYYY-MM-DDThh:mm:ss[.mmm]; the year is stored as written "
                   "(default 13-10-22 13:47:34.000, a two-digit year)");
    app.add_option("--year", spec.year, "Stored year (overrides --start; below 100: two digits)");
    app.add_option("--month", spec.month, "Stored month (overrides --start)");
    app.add_option("--day", spec.day, "Stored day (overrides --start)");
    app.add_option("--hour", spec.hour, "Stored hour (overrides --start)");
    app.add_option("--minute", spec.minute, "Stored minute (overrides --start)");
    app.add_option("--second", spec.second, "Stored second (overrides --start)");
    app.add_option("--millisecond", spec.millisecond, "Stored millisecond (overrides --start)");
    const std::map<std::string, plqgen::Signal> signals{{"sine", plqgen::Signal::Sine},
                                                        {"noise", plqgen::Signal::Noise},
                                                        {"burst", plqgen::Signal::Burst},
                                                        {"ramp", plqgen::Signal::Ramp}};
    app.add_option("--signal", spec.signal, "Signal: sine, noise, burst or ramp")
        ->transform(CLI::CheckedTransformer(signals, CLI::ignore_case));
    app.add_option("--seed", spec.seed, "Seed of the noise")->capture_default_str();
    app.add_option("--system", spec.systemName,
                   "System name (the first 36 bytes are stored; a PLQ file contains \"Kelvo\")")
        ->capture_default_str();
    app.add_option("--size-adjust", spec.sizeAdjustment,
                   "Bytes appended (positive) or cut off the end (negative)")
        ->capture_default_str();
    CLI11_PARSE(app, argc, argv);

    // --start sets all date fields; a field option given as well wins.
    if (!start.empty()) {
        plqgen::RecordingSpec dated = spec;
        if (!ParseStart(start, dated)) {
            std::fprintf(stderr, "--start: expected YYYY-MM-DDThh:mm:ss[.mmm], got %s\n",
                         start.c_str());
            return 2;
        }
        auto keep = [&](const char* option, int16_t& field, int16_t parsed) {
            if (app.count(option) == 0) field = parsed;
        };
        keep("--year", spec.year, dated.year);
        keep("--month", spec.month, dated.month);
        keep("--day", spec.day, dated.day);
        keep("--hour", spec.hour, dated.hour);
        keep("--minute", spec.minute, dated.minute);
        keep("--second", spec.second, dated.second);
        keep("--millisecond", spec.millisecond, dated.millisecond);
    }

    try {
        plqgen::WriteRecording(outPath, spec);
    } catch (const std::exception& error) {
        std::fprintf(stderr, "plqgen: %s\n", error.what());
        return 1;
    }
    return 0;
}
