#include "trq/inventory/StationInventory.h"

#include <libxml/parser.h>
#include <libxml/tree.h>

#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>

#include "recorder/UtcTime.h"

namespace trq {

namespace {

constexpr const char* kNamespace = "http://www.fdsn.org/xml/station/1";

struct DocumentDeleter {
    void operator()(xmlDoc* doc) const { xmlFreeDoc(doc); }
};
struct ParserDeleter {
    void operator()(xmlParserCtxt* ctxt) const { xmlFreeParserCtxt(ctxt); }
};
struct BufferDeleter {
    void operator()(xmlBuffer* buffer) const { xmlBufferFree(buffer); }
};
struct XmlTextDeleter {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

// Reads one document's elements into the inventory; every complaint names the line.
class Reader {
  public:
    explicit Reader(std::string name) : name_(std::move(name)) {}

    [[noreturn]] void Fail(const xmlNode* node, const std::string& reason) const {
        const long line = node ? xmlGetLineNo(node) : 0;
        throw InventoryError("inventory " + name_ + ":" + std::to_string(line) + ": " + reason);
    }

    std::vector<InventoryNetwork> Root(const xmlNode* root) const {
        if (!root || !IsNamed(root, "FDSNStationXML") || !root->ns ||
            std::strcmp(reinterpret_cast<const char*>(root->ns->href), kNamespace) != 0) {
            Fail(root, std::string("not a StationXML document (the root must be FDSNStationXML "
                                   "in namespace ") +
                           kNamespace + ")");
        }
        std::vector<InventoryNetwork> networks;
        for (const xmlNode* node : Children(root, "Network")) networks.push_back(Network(node));
        return networks;
    }

  private:
    static bool IsNamed(const xmlNode* node, const char* name) {
        return node->type == XML_ELEMENT_NODE &&
               std::strcmp(reinterpret_cast<const char*>(node->name), name) == 0;
    }

    static std::vector<const xmlNode*> Children(const xmlNode* parent, const char* name) {
        std::vector<const xmlNode*> found;
        for (const xmlNode* child = parent->children; child; child = child->next) {
            if (IsNamed(child, name)) found.push_back(child);
        }
        return found;
    }

    static const xmlNode* Child(const xmlNode* parent, const char* name) {
        for (const xmlNode* child = parent->children; child; child = child->next) {
            if (IsNamed(child, name)) return child;
        }
        return nullptr;
    }

    static std::string Content(const xmlNode* node) {
        std::unique_ptr<xmlChar, XmlTextDeleter> text(xmlNodeGetContent(node));
        std::string value = text ? reinterpret_cast<const char*>(text.get()) : "";
        const auto first = value.find_first_not_of(" \t\r\n");
        if (first == std::string::npos) return "";
        return value.substr(first, value.find_last_not_of(" \t\r\n") - first + 1);
    }

    static std::optional<std::string> Attribute(const xmlNode* node, const char* name) {
        std::unique_ptr<xmlChar, XmlTextDeleter> value(
            xmlGetProp(node, reinterpret_cast<const xmlChar*>(name)));
        if (!value) return std::nullopt;
        return std::string(reinterpret_cast<const char*>(value.get()));
    }

    std::string Code(const xmlNode* node, const char* attribute) const {
        auto code = Attribute(node, attribute);
        if (!code) {
            Fail(node,
                 std::string(reinterpret_cast<const char*>(node->name)) + " without " + attribute);
        }
        return *code;
    }

    double Number(const xmlNode* node) const {
        const std::string text = Content(node);
        char* end = nullptr;
        errno = 0;
        const double value = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0' || errno != 0 || !std::isfinite(value)) {
            Fail(node, std::string(reinterpret_cast<const char*>(node->name)) + " \"" + text +
                           "\" is not a number");
        }
        return value;
    }

    double Required(const xmlNode* parent, const char* name) const {
        const xmlNode* node = Child(parent, name);
        if (!node) {
            Fail(parent, std::string(reinterpret_cast<const char*>(parent->name)) + " " +
                             Code(parent, "code") + " without " + name);
        }
        return Number(node);
    }

    std::optional<double> Optional(const xmlNode* parent, const char* name) const {
        const xmlNode* node = Child(parent, name);
        if (!node) return std::nullopt;
        return Number(node);
    }

    std::optional<int64_t> Date(const xmlNode* node, const char* attribute) const {
        const auto text = Attribute(node, attribute);
        if (!text) return std::nullopt;
        // Whole seconds and up to six decimals are common; more are cut, not refused.
        std::string trimmed = *text;
        if (const auto dot = trimmed.find('.'); dot != std::string::npos) {
            std::size_t end = dot + 1;
            while (end < trimmed.size() && std::isdigit(static_cast<unsigned char>(trimmed[end])))
                ++end;
            if (end - dot > 7) trimmed.erase(dot + 7, end - dot - 7);
        }
        const auto time = ParseIsoUtcMicroseconds(trimmed);
        if (!time) Fail(node, std::string(attribute) + " \"" + *text + "\" is not a UTC time");
        return time;
    }

    InventoryEpoch Epoch(const xmlNode* node) const {
        return {Date(node, "startDate"), Date(node, "endDate")};
    }

    // The overall sensitivity of the response: the scale of the channel's counts.
    void Sensitivity(const xmlNode* response, InventoryChannel& channel) const {
        const xmlNode* sensitivity = Child(response, "InstrumentSensitivity");
        if (!sensitivity) return;
        channel.scale = Optional(sensitivity, "Value");
        channel.scaleFrequency = Optional(sensitivity, "Frequency");
        const xmlNode* units = Child(sensitivity, "InputUnits");
        const xmlNode* name = units ? Child(units, "Name") : nullptr;
        if (name) channel.scaleUnits = Content(name);
    }

    InventoryChannel Channel(const xmlNode* node) const {
        InventoryChannel channel;
        channel.code = Code(node, "code");
        channel.location = Code(node, "locationCode");
        channel.epoch = Epoch(node);
        channel.latitude = Required(node, "Latitude");
        channel.longitude = Required(node, "Longitude");
        channel.elevation = Required(node, "Elevation");
        channel.depth = Required(node, "Depth");
        channel.azimuth = Optional(node, "Azimuth");
        channel.dip = Optional(node, "Dip");
        channel.sampleRate = Optional(node, "SampleRate");
        if (const xmlNode* sensor = Child(node, "Sensor")) {
            if (const xmlNode* description = Child(sensor, "Description"))
                channel.sensorDescription = Content(description);
        }
        if (const xmlNode* response = Child(node, "Response")) {
            Sensitivity(response, channel);
            std::unique_ptr<xmlBuffer, BufferDeleter> buffer(xmlBufferCreate());
            xmlNodeDump(buffer.get(), response->doc, const_cast<xmlNode*>(response), 0, 0);
            channel.responseXml = reinterpret_cast<const char*>(xmlBufferContent(buffer.get()));
            if (const xmlNode* sensitivity = Child(response, "InstrumentSensitivity")) {
                channel.sensitivity = Sensitivity(sensitivity);
            }
        }
        return channel;
    }

    // Without a Value there is nothing to tell: none.
    std::optional<InstrumentSensitivity> Sensitivity(const xmlNode* node) const {
        const std::optional<double> value = Optional(node, "Value");
        if (!value) return std::nullopt;
        InstrumentSensitivity sensitivity;
        sensitivity.value = *value;
        sensitivity.frequency = Optional(node, "Frequency");
        sensitivity.inputUnits = UnitName(node, "InputUnits");
        sensitivity.outputUnits = UnitName(node, "OutputUnits");
        return sensitivity;
    }

    static std::string UnitName(const xmlNode* parent, const char* units) {
        const xmlNode* node = Child(parent, units);
        const xmlNode* name = node ? Child(node, "Name") : nullptr;
        return name ? Content(name) : "";
    }

    InventoryStation Station(const xmlNode* node) const {
        InventoryStation station;
        station.code = Code(node, "code");
        station.epoch = Epoch(node);
        station.latitude = Required(node, "Latitude");
        station.longitude = Required(node, "Longitude");
        station.elevation = Required(node, "Elevation");
        const xmlNode* site = Child(node, "Site");
        const xmlNode* siteName = site ? Child(site, "Name") : nullptr;
        if (!siteName) Fail(node, "Station " + station.code + " without Site Name");
        station.siteName = Content(siteName);
        for (const xmlNode* child : Children(node, "Channel"))
            station.channels.push_back(Channel(child));
        return station;
    }

    InventoryNetwork Network(const xmlNode* node) const {
        InventoryNetwork network;
        network.code = Code(node, "code");
        network.epoch = Epoch(node);
        if (const xmlNode* description = Child(node, "Description"))
            network.description = Content(description);
        for (const xmlNode* child : Children(node, "Station"))
            network.stations.push_back(Station(child));
        return network;
    }

    std::string name_;
};

}  // namespace

bool InventoryEpoch::Meets(std::optional<int64_t> from, std::optional<int64_t> to) const {
    if (to && start && *start >= *to) return false;
    if (from && end && *end <= *from) return false;
    return true;
}

namespace {

std::vector<InventoryNetwork> ReadDocument(xmlParserCtxt* ctxt, xmlDoc* parsed,
                                           const std::string& name) {
    std::unique_ptr<xmlDoc, DocumentDeleter> doc(parsed);
    if (!doc) {
        const xmlError* error = xmlCtxtGetLastError(ctxt);
        std::string reason = error && error->message ? error->message : "cannot be read";
        while (!reason.empty() && reason.back() == '\n') reason.pop_back();
        throw InventoryError("inventory " + name + ":" + std::to_string(error ? error->line : 0) +
                             ": " + reason);
    }
    return Reader(name).Root(xmlDocGetRootElement(doc.get()));
}

// No network access for external entities, no messages of libxml2's own on stderr.
constexpr int kParseOptions = XML_PARSE_NONET | XML_PARSE_NOERROR | XML_PARSE_NOWARNING;

}  // namespace

StationInventory StationInventory::Read(const std::string& path) {
    if (!std::ifstream(path)) {
        throw InventoryError("inventory " + path + ":0: cannot be opened: " + std::strerror(errno));
    }
    std::unique_ptr<xmlParserCtxt, ParserDeleter> ctxt(xmlNewParserCtxt());
    if (!ctxt) throw InventoryError("inventory " + path + ":0: xmlNewParserCtxt failed");
    StationInventory inventory;
    inventory.networks_ = ReadDocument(
        ctxt.get(), xmlCtxtReadFile(ctxt.get(), path.c_str(), nullptr, kParseOptions), path);
    return inventory;
}

StationInventory StationInventory::Parse(const std::string& text, const std::string& name) {
    std::unique_ptr<xmlParserCtxt, ParserDeleter> ctxt(xmlNewParserCtxt());
    if (!ctxt) throw InventoryError("inventory " + name + ":0: xmlNewParserCtxt failed");
    StationInventory inventory;
    inventory.networks_ =
        ReadDocument(ctxt.get(),
                     xmlCtxtReadMemory(ctxt.get(), text.data(), static_cast<int>(text.size()),
                                       name.c_str(), nullptr, kParseOptions),
                     name);
    return inventory;
}

SeedCodes StationInventory::CodesOf(const std::string& station, const std::string& channel,
                                    const std::string& fallbackNetwork) const {
    const InventoryEntry entry = Find(station, channel);
    if (!entry.channel) return {fallbackNetwork, ""};
    return {entry.network->code, entry.channel->location};
}

InventoryEntry StationInventory::Find(const std::string& station,
                                      const std::string& channel) const {
    for (const InventoryNetwork& network : networks_) {
        for (const InventoryStation& entry : network.stations) {
            if (entry.code != station) continue;
            for (const InventoryChannel& epoch : entry.channels) {
                if (epoch.code == channel) return {&network, &entry, &epoch};
            }
        }
    }
    return {};
}

}  // namespace trq
