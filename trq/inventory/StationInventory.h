#pragma once
// The operator's station metadata, read from a StationXML 1.1 document: per network,
// station and channel epoch the codes, coordinates, orientation, sample rate, site name and
// the instrument response where the document gives one. The web services and `trq export`
// take the network and location codes of an archive stream from it; a stream it does not
// list keeps the configured network and the blank location code, and is never given
// coordinates.

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace trq {

// An inventory that cannot be used: the file, the line (0 when unknown) and the reason.
class InventoryError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

// An epoch: microseconds since 1970 UTC; no end while it is open.
struct InventoryEpoch {
    std::optional<int64_t> start;
    std::optional<int64_t> end;
    // Whether the epoch meets [from, to) (either side open when not given).
    bool Meets(std::optional<int64_t> from, std::optional<int64_t> to) const;
};

// The overall sensitivity of a channel's instrument: counts (OutputUnits) per unit of ground
// motion (InputUnits) at a frequency.
struct InstrumentSensitivity {
    double value = 0;
    std::optional<double> frequency;  // Hz
    std::string inputUnits;           // "M/S"
    std::string outputUnits;          // "COUNTS"
};

struct InventoryChannel {
    std::string code;
    std::string location;
    InventoryEpoch epoch;
    double latitude = 0, longitude = 0, elevation = 0, depth = 0;
    std::optional<double> azimuth, dip, sampleRate;
    std::string sensorDescription;  // Sensor/Description
    // The response's InstrumentSensitivity: Value, Frequency and InputUnits/Name.
    std::optional<double> scale, scaleFrequency;
    std::string scaleUnits;
    // The <Response> element as the document has it, written again at level=response.
    std::string responseXml;
    // Its InstrumentSensitivity, where it has one.
    std::optional<InstrumentSensitivity> sensitivity;
};

struct InventoryStation {
    std::string code;
    InventoryEpoch epoch;
    double latitude = 0, longitude = 0, elevation = 0;
    std::string siteName;
    std::vector<InventoryChannel> channels;
};

struct InventoryNetwork {
    std::string code;
    InventoryEpoch epoch;
    std::string description;
    std::vector<InventoryStation> stations;
};

// Where the inventory lists a stream of the archive; all null when it does not.
struct InventoryEntry {
    const InventoryNetwork* network = nullptr;
    const InventoryStation* station = nullptr;
    const InventoryChannel* channel = nullptr;
};

// The codes a stream of the archive (station and channel) is served under.
struct SeedCodes {
    std::string network;
    std::string location;
};

class StationInventory {
  public:
    StationInventory() = default;
    // Reads a StationXML document. Throws InventoryError naming the file, the line and
    // what is wrong (not XML, not StationXML, a required code or coordinate missing or not a
    // number, a date that is not one).
    static StationInventory Read(const std::string& path);
    // The same from a text; `name` stands for the file in errors.
    static StationInventory Parse(const std::string& text, const std::string& name);

    const std::vector<InventoryNetwork>& Networks() const { return networks_; }
    bool Empty() const { return networks_.empty(); }

    // The codes of the archive's `station` and `channel`: those of the first channel epoch
    // of that station and channel code in the document; `fallbackNetwork` and the blank
    // location when the document has none.
    SeedCodes CodesOf(const std::string& station, const std::string& channel,
                      const std::string& fallbackNetwork) const;
    // That first channel epoch, with its station and network.
    InventoryEntry Find(const std::string& station, const std::string& channel) const;

  private:
    std::vector<InventoryNetwork> networks_;
};

}  // namespace trq
