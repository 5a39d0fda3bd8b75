// The inventory and fdsnws-station without a server: how a StationXML document is read or
// refused (file, line and reason), what the station parser makes of a request, and whole
// answers compared with the golden documents of tests/golden/station.

#include <gtest/gtest.h>

#include "tests/serve/RequestCase.h"
#include "tests/support/TempDir.h"
#include "trq/fdsn/StationService.h"

namespace {

using namespace requestcase;
using trq::StationInventory;

const std::string kDir = PLQ_SOURCE_DIR "/tests/golden/station/";

std::string Refusal(const std::string& text) {
    try {
        StationInventory::Parse(text, "inv.xml");
        return "read";
    } catch (const trq::InventoryError& e) {
        return e.what();
    }
}

const std::string kHead =
    "<?xml version=\"1.0\"?>\n<FDSNStationXML xmlns=\"http://www.fdsn.org/xml/station/1\" "
    "schemaVersion=\"1.1\">\n<Source>x</Source><Created>2024-01-01T00:00:00</Created>\n"
    "<Network code=\"ZZ\">\n";
const std::string kStation =
    "<Station code=\"ABC\"><Latitude>1</Latitude><Longitude>2</Longitude><Elevation>3</Elevation>"
    "<Site><Name>n</Name></Site>\n";
const std::string kTail = "</Station></Network></FDSNStationXML>\n";

TEST(Inventory, BrokenDocumentsAreRefusedWithLineAndReason) {
    const struct {
        const char* id;
        std::string text;
        std::string expected;
    } cases[] = {
        {"good", kHead + kStation + kTail, "read"},
        {"not-xml", kHead + "<Station code=\"ABC\">\n</Network>",
         "inventory inv.xml:6: Premature end of data in tag Network line 4"},
        {"not-stationxml", "<?xml version=\"1.0\"?>\n<quakeml/>\n",
         "inventory inv.xml:2: not a StationXML document (the root must be FDSNStationXML in "
         "namespace http://www.fdsn.org/xml/station/1)"},
        {"no-latitude",
         kHead + "<Station code=\"ABC\">\n<Longitude>2</Longitude><Elevation>3</Elevation>" + kTail,
         "inventory inv.xml:5: Station ABC without Latitude"},
        {"bad-number",
         kHead + kStation + "<Channel code=\"BHZ\" locationCode=\"\">\n<Latitude>north</Latitude>" +
             "</Channel>" + kTail,
         "inventory inv.xml:7: Latitude \"north\" is not a number"},
        {"bad-date",
         kHead + kStation + "<Channel code=\"BHZ\" locationCode=\"\" startDate=\"2013-13-01\">" +
             "</Channel>" + kTail,
         "inventory inv.xml:6: startDate \"2013-13-01\" is not a UTC time"},
        {"no-location-code", kHead + kStation + "<Channel code=\"BHZ\"></Channel>" + kTail,
         "inventory inv.xml:6: Channel without locationCode"},
    };
    for (const auto& c : cases) EXPECT_EQ(Refusal(c.text), c.expected) << c.id;
    EXPECT_EQ(Refusal(""), "inventory inv.xml:1: Document is empty");
    EXPECT_THROW(StationInventory::Read(kDir + "missing.xml"), trq::InventoryError);
}

TEST(Inventory, GivesTheCodesOfListedStreamsOnly) {
    const StationInventory inventory = StationInventory::Read(kDir + "inventory.xml");
    const auto codes = [&](const char* station, const char* channel) {
        const trq::SeedCodes found = inventory.CodesOf(station, channel, "XX");
        return found.network + "." + found.location;
    };
    EXPECT_EQ(codes("ABC", "BHZ"), "ZZ.00");
    EXPECT_EQ(codes("ABC", "BHE"), "XX.");
    EXPECT_EQ(codes("FAR", "HHZ"), "ZZ.");
    EXPECT_EQ(codes("XYZ", "BHZ"), "XX.");
}

std::string Describe(const trq::StationRequest& r) {
    static const char* const levels[] = {"network", "station", "channel", "response"};
    return Selections(r.selections) + " | level=" + levels[static_cast<int>(r.level)] +
           " format=" + r.format + " nodata=" + std::to_string(r.noDataStatus);
}

TEST(StationRequest, EveryParameter) {
    const struct {
        const char* id;
        std::string query;
        std::string expected;
    } cases[] = {
        {"defaults", "", "* * * * open..open | level=station format=xml nodata=204"},
        {"all",
         "net=ZZ&sta=AB?&loc=--&cha=BH*&level=channel&format=text&nodata=404&"
         "includerestricted=false&includeavailability=true&starttime=2013-10-22",
         "ZZ AB? -- BH* 1382400000000000..open | level=channel format=text nodata=404"},
        {"bad-level", "level=everything",
         "400 Bad value of level: \"everything\" (one of network,station,channel,response)"},
        {"text-response", "level=response&format=text",
         "400 format=text is not offered at level=response; ask for format=xml"},
        {"unknown", "minlat=10", "400 Unknown parameter: minlat"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Outcome([&] { return Describe(trq::ParseStationGet(Query(c.query))); }),
                  c.expected)
            << c.id;
    }
}

TEST(StationAnswer, MatchesTheGoldenDocuments) {
    const StationInventory inventory = StationInventory::Read(kDir + "inventory.xml");
    // The archive holds ABC's BHZ from 2013-10-22 00:00:00.25 for three hours.
    const trq::ChannelExtent extent =
        [](const trq::InventoryNetwork&, const trq::InventoryStation& station,
           const trq::InventoryChannel& channel) -> std::optional<TimeWindow> {
        if (station.code != "ABC" || channel.code != "BHZ") return std::nullopt;
        return TimeWindow{1382400000250000, 1382410800250000};
    };
    const int64_t created = 1704067200000000;  // 2024-01-01
    // Counts of the whole network or station beside those of the selection; stations
    // selected by a channel code they have (OLD has BHZ only); OLD's one channel epoch ends
    // at 2013-10-22T00:00:00.0000009, cut to the microsecond, where a window starting then
    // begins: OLD is then no Station at level=channel.
    const struct {
        const char* query;
        const char* golden;  // below tests/golden/station/; none: no data
    } cases[] = {
        {"level=response&cha=BHZ,HHZ", "response.xml"},
        {"level=network&sta=FAR", "network.xml"},
        {"level=network&sta=FAR&format=text", "networks.txt"},
        {"format=text&cha=BHN,HH?", "stations.txt"},
        {"level=channel&format=text&loc=00", "channels.txt"},
        {"level=channel&sta=FAR,OLD&starttime=2013-10-22", "channel.xml"},
        {"level=channel&starttime=2021-01-01&sta=FAR", nullptr},
        {"net=XX", nullptr},
    };
    for (const auto& c : cases) {
        const auto answer =
            trq::StationAnswer(inventory, trq::ParseStationGet(Query(c.query)), extent, created);
        if (!c.golden) {
            EXPECT_FALSE(answer) << c.query;
            continue;
        }
        ASSERT_TRUE(answer) << c.query;
        EXPECT_EQ(*answer, testsupport::ReadFile(kDir + c.golden)) << c.query;
    }
}

}  // namespace
