#include "archive/StationArchive.h"

#include <utility>

namespace {

char FoldAsciiCase(char c) {
    return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c;
}

bool EqualIgnoringAsciiCase(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size(); ++i) {
        if (b[i] == '\0' || FoldAsciiCase(a[i]) != FoldAsciiCase(b[i])) return false;
    }
    return b[i] == '\0';
}

}  // namespace

CStationArchive::CStationArchive(std::string name) : name_(std::move(name)) {}

CStationArchive::~CStationArchive() {
    for (auto& channel : channels_) channel.reset();
    channels_.clear();
}

std::ptrdiff_t CStationArchive::FindChannel(const char* name) const {
    for (std::size_t i = 0; i < channels_.size(); ++i) {
        if (EqualIgnoringAsciiCase(channels_[i]->ChannelName(), name)) {
            return static_cast<std::ptrdiff_t>(i);
        }
    }
    return -1;
}

std::size_t CStationArchive::AddChannel(const char* name, double rate) {
    channels_.push_back(std::make_unique<CChannelBuffer>(name, rate));
    return channels_.size() - 1;
}
