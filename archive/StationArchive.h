#pragma once
// One station in the archive writer: its name and its channels, in order of first sight.

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "archive/ChannelBuffer.h"

class CStationArchive {
  public:
    // Archive files of a station cover this many minutes.
    static constexpr int32_t kFileLengthMinutes = 60;

    explicit CStationArchive(std::string name);
    virtual ~CStationArchive();  // deletes the channels, first one first
    CStationArchive(const CStationArchive&) = delete;
    CStationArchive& operator=(const CStationArchive&) = delete;

    // Spelled as by the first caller that named the station.
    const std::string& Name() const { return name_; }
    int32_t FileLengthMinutes() const { return fileLengthMinutes_; }

    std::size_t ChannelCount() const { return channels_.size(); }
    CChannelBuffer& Channel(std::size_t index) { return *channels_[index]; }
    const CChannelBuffer& Channel(std::size_t index) const { return *channels_[index]; }

    // Index of the first channel whose name equals `name` ignoring letter case, or -1.
    // Case is folded for ASCII letters only: on this platform channel names are ASCII
    // (the converter's own CH1, CH2... or names from its ini file).
    std::ptrdiff_t FindChannel(const char* name) const;
    // Appends a channel with this name and rate; returns its index.
    std::size_t AddChannel(const char* name, double rate);

  private:
    std::string name_;
    std::vector<std::unique_ptr<CChannelBuffer>> channels_;
    int32_t fileLengthMinutes_ = kFileLengthMinutes;
};
