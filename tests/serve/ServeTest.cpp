// trq serve end to end, on SQLite and on PostgreSQL: the server runs on an archive the
// converter wrote from two recordings of station ABC at 1 sample/s with a gap between them,
// and is asked by clients we did not write: seisplotjs (under Node), curl, mseed2sac, and
// cpp-httplib's client for 16 requests at once. Expected spans, start times and samples
// come from the generator's input, never from the code under test.

#include <gtest/gtest.h>
#include <httplib.h>
#include <signal.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <nlohmann/json.hpp>
#include <set>
#include <thread>
#include <tuple>

#include "tests/support/Bytes.h"
#include "tests/support/Deadline.h"
#include "tests/support/Sac.h"
#include "tests/support/Workspace.h"
#include "trq/fdsn/FdsnRoutes.h"

namespace {

using namespace testsupport;
using nlohmann::json;

struct Recording {
    const char* name;
    int16_t hour, millisecond;
    int32_t samples;
};
// 2013-10-22 00:00:00.250 for two hours, and 03:00:00.500 for one.
constexpr Recording kFirst{"r1.plq", 0, 250, 7200}, kSecond{"r2.plq", 3, 500, 3600};

plqgen::RecordingSpec GeneratorInput(const Recording& recording) {
    return RampRecording(22, recording.hour, 0, recording.millisecond, recording.samples);
}

// Microseconds since 1970 of 2013-10-22 hh:mm:ss.mmm UTC.
int64_t At(int hour, int minute, int second, int millisecond) {
    return 1382400000000000LL + ((hour * 60LL + minute) * 60 + second) * 1000000 +
           millisecond * 1000LL;
}
const int64_t kFirstStart = At(0, 0, 0, 250), kSecondStart = At(3, 0, 0, 500);

struct Answer {
    int status = 0;
    std::string body;
    std::string type;  // Content-Type, "" when none
};

class Serve : public ::testing::TestWithParam<CatalogKind> {
  protected:
    Serve() : ws_(GetParam()) {}

    void SetUp() override {
        for (const auto& [recording, station] :
             {std::pair{kFirst, "ABC"}, {kSecond, "ABC"}, {kSecond, "ABCDEFG"}}) {
            ws_.WriteRecording(recording.name, GeneratorInput(recording));
            ASSERT_EQ(ws_.Convert(recording.name, station).exitCode, 0) << station;
        }
    }

    // trq serve on a free loopback port, the catalog and archive found through the
    // workspace's plq2trq.ini; the port comes from its first line. A server started
    // before is stopped first.
    void Start(std::vector<std::string> extra = {}) {
        if (server_) {
            EXPECT_EQ(server_->Stop(), 0) << ServerLog();
        }
        port_ = 0;
        std::filesystem::remove(ws_.Path("serve.err"));
        std::vector<std::string> args{"serve", "--listen", "127.0.0.1:0"};
        args.insert(args.end(), extra.begin(), extra.end());
        server_ = std::make_unique<BackgroundProcess>(TrqPath(), args, ws_.Dir().Path(), ws_.Env(),
                                                      ws_.Path("serve.out"), ws_.Path("serve.err"));
        const std::string marker = "listening on http://127.0.0.1:";
        WaitUntil(
            [&] {
                const std::string log = ServerLog();
                const auto at = log.find(marker);
                if (at != std::string::npos) port_ = std::atoi(log.c_str() + at + marker.size());
                return port_ != 0;
            },
            std::chrono::seconds(30), "trq serve to print its address");
        ASSERT_NE(port_, 0) << ServerLog();
    }
    void TearDown() override {
        if (server_) {
            EXPECT_EQ(server_->Stop(), 0) << ServerLog();
        }
    }

    std::string ServerLog() const { return ReadFile(ws_.Path("serve.err")); }
    std::string Base() const { return "http://127.0.0.1:" + std::to_string(port_); }

    // curl PATH (below the base URL), with `args` before it.
    Answer Curl(const std::string& path, std::vector<std::string> args = {}) const {
        const char* written = "%{http_code} %{content_type}";
        std::vector<std::string> all{"-s", "-S",   "--max-time", "20", "-o", ws_.Path("answer"),
                                     "-w", written};
        all.insert(all.end(), args.begin(), args.end());
        all.push_back(Base() + path);
        const ProcessResult result = RunProcess("/usr/bin/curl", all, ws_.Dir().Path());
        const std::size_t blank = std::min(result.out.find(' '), result.out.size());
        return {std::atoi(result.out.c_str()), ReadFile(ws_.Path("answer")),
                result.out.substr(std::min(blank + 1, result.out.size()))};
    }

    // What seisplotjs made of an answer (tests/fdsn/client.mjs), as JSON.
    json Seisplotjs(const std::vector<std::string>& args) const {
        std::vector<std::string> all{"node", PLQ_FDSN_CLIENT_DIR "/client.mjs", Base()};
        all.insert(all.end(), args.begin(), args.end());
        const ProcessResult result = RunProcess("/usr/bin/env", all, ws_.Dir().Path());
        EXPECT_EQ(result.exitCode, 0) << result.err;
        return result.exitCode == 0 ? json::parse(result.out) : json();
    }

    Workspace ws_;
    std::unique_ptr<BackgroundProcess> server_;
    int port_ = 0;
};

TEST_P(Serve, SeisplotjsGetsTheRecordedSpansAndSamples) {
    ASSERT_NO_FATAL_FAILURE(Start());
    const json spans = Seisplotjs(
        {"availability", "XX", "ABC", "--", "BHZ", "2013-10-22T00:00:00", "2013-10-23T00:00:00"});
    ASSERT_EQ(spans["ranges"].size(), 2u) << spans.dump(1);
    EXPECT_EQ(spans["ranges"][0]["startEpochMicros"], kFirstStart);
    EXPECT_EQ(spans["ranges"][0]["endEpochMicros"], kFirstStart + 7200 * 1000000LL);
    EXPECT_EQ(spans["ranges"][1]["startEpochMicros"], kSecondStart);
    EXPECT_EQ(spans["ranges"][1]["endEpochMicros"], kSecondStart + 3600 * 1000000LL);

    const json extent = Seisplotjs(
        {"extent", "XX", "ABC", "--", "BHN", "2013-10-22T00:00:00", "2013-10-23T00:00:00"});
    ASSERT_EQ(extent["ranges"].size(), 1u) << extent.dump(1);
    EXPECT_EQ(extent["ranges"][0]["startEpochMicros"], kFirstStart);
    EXPECT_EQ(extent["ranges"][0]["endEpochMicros"], kSecondStart + 3600 * 1000000LL);
    EXPECT_EQ(extent["ranges"][0]["timespanCount"], 2);

    // 20 minutes each side of the gap: several records per segment.
    const json window = Seisplotjs(
        {"dataselect", "XX", "ABC", "--", "BHZ", "2013-10-22T01:40:00", "2013-10-22T03:20:00"});
    ASSERT_EQ(window["segments"].size(), 2u) << window.dump(1);
    const struct {
        const Recording& recording;
        int32_t first;
        int64_t start;
    } expected[] = {{kFirst, 6000, At(1, 40, 0, 250)}, {kSecond, 0, kSecondStart}};
    for (std::size_t i = 0; i < 2; ++i) {
        const json& segment = window["segments"][i];
        EXPECT_EQ(segment["startEpochMicros"], expected[i].start);
        EXPECT_EQ(segment["sampleRate"], 1);
        EXPECT_EQ(
            segment["samples"].get<std::vector<float>>(),
            ReferenceSamples(GeneratorInput(expected[i].recording), 1, expected[i].first, 1200));
    }
}

// Every route of the route table, GET and for the methods POST, with its status and content
// type; each WADL well-formed to xmllint, and the index linking every service.
TEST_P(Serve, EveryRouteAnswersWithItsStatusAndType) {
    ASSERT_NO_FATAL_FAILURE(
        Start({"--inventory", PLQ_SOURCE_DIR "/tests/golden/station/inventory.xml"}));
    const std::string get = "?sta=ABC&cha=BHZ&start=2013-10-22T01:00:00&end=2013-10-22T01:10:00",
                      post = "* ABC * BHZ 2013-10-22T01:00:00 2013-10-22T01:10:00\n";
    const char *html = "text/html; charset=utf-8", *text = "text/plain", *xml = "application/xml",
               *mseed = "application/vnd.fdsn.mseed";
    const struct {
        std::string method, path, asked;  // asked: the query string, or the POST body
        int status;
        const char* type;
    } routes[] = {
        {"GET", "/", "", 200, html},
        {"GET", "/fdsnws/dataselect/1/", "", 200, text},
        {"GET", "/fdsnws/dataselect/1/version", "", 200, text},
        {"GET", "/fdsnws/dataselect/1/application.wadl", "", 200, xml},
        {"GET", "/fdsnws/dataselect/1/query", get, 200, mseed},
        {"POST", "/fdsnws/dataselect/1/query", post, 200, mseed},
        {"GET", "/fdsnws/station/1/", "", 200, text},
        {"GET", "/fdsnws/station/1/version", "", 200, text},
        {"GET", "/fdsnws/station/1/application.wadl", "", 200, xml},
        {"GET", "/fdsnws/station/1/query", get, 200, xml},
        {"POST", "/fdsnws/station/1/query", "format=text\n" + post, 200, text},
        {"GET", "/fdsnws/availability/1/", "", 200, text},
        {"GET", "/fdsnws/availability/1/version", "", 200, text},
        {"GET", "/fdsnws/availability/1/application.wadl", "", 200, xml},
        {"GET", "/fdsnws/availability/1/query", get + "&format=json", 200, "application/json"},
        {"POST", "/fdsnws/availability/1/query", post, 200, text},
        {"GET", "/fdsnws/availability/1/extent", get, 200, text},
        {"POST", "/fdsnws/availability/1/extent", post, 200, text},
    };
    std::set<std::string> tested, served;
    for (const auto& route : routes) {
        SCOPED_TRACE(route.method + " " + route.path);
        tested.insert(route.method + " " + route.path);
        WriteFile(ws_.Path("post.txt"), route.asked);
        const Answer answer = route.method == "POST"
                                  ? Curl(route.path, {"--data-binary", "@post.txt"})
                                  : Curl(route.path + route.asked);
        EXPECT_EQ(answer.status, route.status) << answer.body;
        EXPECT_EQ(answer.type, route.type);
        if (route.path.ends_with(".wadl")) {
            const ProcessResult lint =
                RunProcess("/usr/bin/xmllint", {"--noout", ws_.Path("answer")}, ws_.Dir().Path());
            EXPECT_EQ(lint.exitCode, 0) << lint.err;
        }
        if (route.path == "/") {
            EXPECT_NE(answer.body.find("FDSN web services: <a href=\"fdsnws/dataselect/1/\">"
                                       "dataselect</a>, <a href=\"fdsnws/station/1/\">station</a>, "
                                       "<a href=\"fdsnws/availability/1/\">availability</a>."),
                      std::string::npos)
                << answer.body;
        }
    }
    for (const trq::FdsnRoute& route : trq::FdsnRouteTable()) {
        served.insert("GET " + route.path);
        if (route.kind == trq::RouteKind::kMethod) served.insert("POST " + route.path);
    }
    EXPECT_EQ(tested, served);
}

TEST_P(Serve, CurlMeetsTheFdsnStatusesAndMseed2sacReadsAPost) {
    ASSERT_NO_FATAL_FAILURE(Start({"--max-seconds", "3600"}));
    const std::string query = "/fdsnws/dataselect/1/query?net=XX&sta=ABC&";
    // {query, status, what the body holds after "Error STATUS: "}; a year holds 21600
    // seconds of data in all, above the 3600 this server sends.
    const std::tuple<std::string, int, std::string> statuses[] = {
        {"start=2013-10-23&end=2013-10-24", 204, ""},
        {"start=2013-10-23&end=2013-10-24&nodata=404", 404, "Not Found\n"},
        {"start=2013-10-22&end=2013-10-23&foo=1", 400, "Unknown parameter: foo"},
        {"starttime=2013-10-22T25:00&end=2013-10-23", 400, "Bad value of starttime"},
        {"start=2013-01-01&end=2014-01-01", 413, "at most 3600 seconds"}};
    for (const auto& [asked, status, text] : statuses) {
        const Answer answer = Curl(query + asked);
        EXPECT_EQ(answer.status, status) << asked;
        EXPECT_TRUE(status == 204 ||
                    answer.body.starts_with("Error " + std::to_string(status) + ": "))
            << answer.body;
        EXPECT_NE(answer.body.find(text), std::string::npos) << answer.body;
    }

    WriteFile(ws_.Path("request.txt"),
              "XX ABC -- BHZ 2013-10-22T01:40:00 2013-10-22T01:50:00\n"
              "XX ABC -- BHN 2013-10-22T03:00:00 2013-10-22T03:05:00\n");
    ASSERT_EQ(Curl("/fdsnws/dataselect/1/query",
                   {"--data-binary", "@request.txt", "-D", ws_.Path("headers")})
                  .status,
              200);
    // The checksums recorded of the two files read, in the order read.
    const auto sum = [&](const std::string& name) {
        return "ABC\\" + name +
               "=xxh3-128:" + ReferenceChecksum(ReadFile(ws_.Path("archive/ABC/" + name))).fileHash;
    };
    EXPECT_NE(ReadFile(ws_.Path("headers"))
                  .find("X-Archive-Checksums: " + sum("22102013-000000-BHZ.ABC") + "," +
                        sum("22102013-030000-BHN.ABC") + "\r\n"),
              std::string::npos)
        << ReadFile(ws_.Path("headers"));
    std::filesystem::rename(ws_.Path("answer"), ws_.Path("post.mseed"));
    const auto sacs = Mseed2Sac(ws_.Path("post.mseed"), ws_.Path("sac"));
    ASSERT_EQ(sacs.size(), 2u);
    const SacTrace& bhn = sacs.at("XX.ABC..BHN.D.2013.295.030000.SAC");
    EXPECT_EQ(bhn.Start(), "03:00:00.500");
    EXPECT_EQ(bhn.samples, ReferenceSamples(GeneratorInput(kSecond), 2, 0, 300));
    const SacTrace& bhz = sacs.at("XX.ABC..BHZ.D.2013.295.014000.SAC");
    EXPECT_EQ(bhz.Start(), "01:40:00.250");
    EXPECT_EQ(bhz.samples, ReferenceSamples(GeneratorInput(kFirst), 1, 6000, 600));

    // The catalog fails, and comes back: 500 with the reason, then answers again.
    const std::string availability = "/fdsnws/availability/1/query?sta=ABC";
    ExecuteSql(ws_.Catalog(), "ALTER TABLE FILELIST RENAME TO FILELIST_AWAY");
    const Answer failed = Curl(availability);
    EXPECT_EQ(failed.status, 500);
    EXPECT_NE(failed.body.find("The catalog could not be read"), std::string::npos);
    ExecuteSql(ws_.Catalog(), "ALTER TABLE FILELIST_AWAY RENAME TO FILELIST");
    EXPECT_EQ(Curl(availability).status, 200);

    // Ten minutes at 2 samples/s right after the first recording's BHZ (02:00:00.250): two
    // spans of their own rates, one only when merge=samplerate asks for it.
    ExecuteSql(ws_.Catalog(),
               "INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,"
               "FOFF) VALUES ('ABC',2,1,'ABC\\rate2',3,'BHZ','PLQ2TRQ','2013-10-22 00:00:00',"
               "1382407200.25,600,512)");
    const std::string spans =
        "/fdsnws/availability/1/query?net=XX&sta=ABC&cha=BHZ&format=request&"
        "start=2013-10-22T01:00:00&end=2013-10-22T02:30:00";
    EXPECT_EQ(Curl(spans).body,
              "XX ABC -- BHZ 2013-10-22T01:00:00.000000 2013-10-22T02:00:00.250000\n"
              "XX ABC -- BHZ 2013-10-22T02:00:00.250000 2013-10-22T02:10:00.250000\n");
    EXPECT_EQ(Curl(spans + "&merge=samplerate").body,
              "XX ABC -- BHZ 2013-10-22T01:00:00.000000 2013-10-22T02:10:00.250000\n");
}

TEST_P(Serve, BadInputIsRefusedWithoutHarm) {
    // A row whose path climbs out of the data directory, in the window asked for.
    ExecuteSql(ws_.Catalog(),
               "INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,"
               "FOFF) VALUES ('ABC',1,1,'..\\..\\secret',3,'BHE','PLQ2TRQ','2013-10-22 00:00:00',"
               "1382410800,3600,512)");
    ASSERT_NO_FATAL_FAILURE(Start());
    const std::string window = "start=2013-10-22T03:00:00&end=2013-10-22T03:10:00";
    EXPECT_EQ(Curl("/fdsnws/dataselect/1/query?cha=BHE&" + window).status, 204);
    EXPECT_NE(ServerLog().find("skipped ..\\..\\secret: the path leads out of the data directory"),
              std::string::npos)
        << ServerLog();

    // A station name miniSEED 2 cannot hold is marked, and never cut into another name.
    const Answer index = Curl("/");
    EXPECT_NE(index.body.find("<td>ABCDEFG</td><td>BHZ</td><td>not served"), std::string::npos);
    EXPECT_EQ(Curl("/fdsnws/dataselect/1/query?sta=ABCDE*&" + window).status, 204);
    EXPECT_EQ(Curl("/fdsnws/dataselect/1/query?sta=ABCDE&" + window).status, 204);
    EXPECT_EQ(Curl("/fdsnws/availability/1/query?sta=ABCDEFG").status, 204);

    EXPECT_EQ(Curl("/fdsnws/dataselect/1/query?sta=A%27B;DROP&" + window).status, 400);
    WriteFile(ws_.Path("huge.txt"), std::string(2 << 20, '#'));
    EXPECT_EQ(Curl("/fdsnws/dataselect/1/query", {"--data-binary", "@huge.txt"}).status, 413);
    EXPECT_EQ(Curl("/fdsnws/dataselect/1/query?sta=ABC&" + window).status, 200);
}

TEST_P(Serve, SixteenClientsAtOnceGetWhatOneGets) {
    ASSERT_NO_FATAL_FAILURE(Start());
    const std::vector<std::string> paths{
        "/fdsnws/dataselect/1/query?sta=ABC&cha=BH%3F&start=2013-10-22T01:00&end=2013-10-22T03:30",
        "/fdsnws/availability/1/query?sta=A*&start=2013-10-22&end=2013-10-23",
        "/fdsnws/availability/1/extent?sta=ABC"};
    std::vector<std::string> alone;
    // Every answer within seconds, or the request fails (and the test with it).
    const auto bounded = [](httplib::Client& client) {
        client.set_connection_timeout(5);
        client.set_read_timeout(20);
        client.set_write_timeout(5);
    };
    httplib::Client client("127.0.0.1", port_);
    bounded(client);
    for (const std::string& path : paths) {
        const httplib::Result result = client.Get(path.c_str());
        ASSERT_TRUE(result && result->status == 200) << path;
        alone.push_back(result->body);
    }
    std::atomic<int> failed{0};
    std::vector<std::thread> clients;
    for (int c = 0; c < 16; ++c) {
        clients.emplace_back([&, c] {
            httplib::Client each("127.0.0.1", port_);
            bounded(each);
            for (std::size_t i = 0; i < 6; ++i) {
                const std::size_t which = (c + i) % paths.size();
                const httplib::Result result = each.Get(paths[which].c_str());
                if (!result || result->status != 200 || result->body != alone[which]) ++failed;
            }
        });
    }
    for (std::thread& thread : clients) thread.join();
    EXPECT_EQ(failed, 0);
}

// The catalog server's processes stop answering (SIGSTOP; their host still acknowledges)
// after the server has been idle for longer than [DATABASE] TIMEOUT=3: a request gets 500
// saying so within the bound (and a margin), and once they go on the server answers again
// by itself.
TEST_P(Serve, SilentCatalogGets500WithinTheTimeoutAndTheServerRecovers) {
    if (GetParam() != CatalogKind::kPostgres) GTEST_SKIP() << "SQLite has no server to stop";
    std::string ini = ws_.IniText(ws_.ArchiveDir());
    ws_.WriteIni(ini.replace(ini.find("[DATA]"), 6, "TIMEOUT=3\n[DATA]"));
    ASSERT_NO_FATAL_FAILURE(Start());
    const std::string path = "/fdsnws/availability/1/extent?sta=ABC";
    ASSERT_EQ(Curl(path).status, 200);
    std::this_thread::sleep_for(std::chrono::seconds(4));  // the call watchdog idles
    const Rows servers = QueryRows(ws_.Catalog(),
                                   "SELECT pid FROM pg_stat_activity WHERE pid <> "
                                   "pg_backend_pid() AND datname = '" +
                                       ws_.Catalog().database + "'");
    ASSERT_FALSE(servers.empty());
    for (const auto& row : servers) ::kill(std::stoi(row[0]), SIGSTOP);
    const Answer silent = Curl(path, {"--max-time", "20"});
    for (const auto& row : servers) ::kill(std::stoi(row[0]), SIGCONT);
    EXPECT_EQ(silent.status, 500) << silent.body;
    EXPECT_NE(silent.body.find("the catalog did not answer within 3 s"), std::string::npos)
        << silent.body;
    EXPECT_EQ(Curl(path).status, 200);
}

TEST_P(Serve, TheInventoryGivesStationsAndCodes) {
    const std::string inventory = PLQ_SOURCE_DIR "/tests/golden/station/inventory.xml";
    WriteFile(ws_.Path("broken.xml"), "<FDSNStationXML>\n<Network>\n");
    const ProcessResult broken = ws_.Trq({"serve", "--inventory", ws_.Path("broken.xml")});
    EXPECT_EQ(broken.exitCode, 2);
    EXPECT_NE(broken.err.find("broken.xml:3: "), std::string::npos) << broken.err;

    ASSERT_NO_FATAL_FAILURE(Start({"--inventory", inventory}));
    const json stations =
        Seisplotjs({"stations", "ZZ", "*", "", "*", "2010-01-01T00:00:00", "2030-01-01T00:00:00"});
    ASSERT_EQ(stations["networks"].size(), 1u) << stations.dump(1);
    const json& zz = stations["networks"][0];
    EXPECT_EQ(zz["network"], "ZZ");
    ASSERT_EQ(zz["stations"].size(), 2u);
    EXPECT_EQ(zz["stations"][0]["station"], "ABC");
    EXPECT_EQ(zz["stations"][0]["name"], "Abc Hill");
    EXPECT_EQ(zz["stations"][0]["latitude"], 47.3769);
    EXPECT_EQ(zz["stations"][0]["longitude"], 8.5417);
    EXPECT_EQ(zz["stations"][0]["elevation"], 408.5);
    EXPECT_EQ(zz["stations"][1]["station"], "FAR");
    EXPECT_EQ(zz["stations"][1]["latitude"], -33.9);

    const json channels = Seisplotjs(
        {"channels", "ZZ", "ABC", "00", "BH?", "2013-10-22T00:00:00", "2013-10-23T00:00:00"});
    const json& abc = channels["networks"][0]["stations"][0]["channels"];
    ASSERT_EQ(abc.size(), 2u) << channels.dump(1);
    EXPECT_EQ(abc[0]["channel"], "BHZ");
    EXPECT_EQ(abc[0]["location"], "00");
    EXPECT_EQ(abc[0]["sampleRate"], 1);
    EXPECT_EQ(abc[0]["dip"], -90);
    EXPECT_EQ(abc[1]["channel"], "BHN");

    // Every level well-formed to xmllint; the archive's extent of BHZ in its channel.
    for (const char* level : {"network", "station", "channel", "response"}) {
        const Answer answer = Curl("/fdsnws/station/1/query?level=" + std::string(level));
        EXPECT_EQ(answer.status, 200) << level;
        const ProcessResult lint =
            RunProcess("/usr/bin/xmllint", {"--noout", ws_.Path("answer")}, ws_.Dir().Path());
        EXPECT_EQ(lint.exitCode, 0) << level << lint.err;
    }
    EXPECT_NE(Curl("/fdsnws/station/1/query?level=channel&cha=BHZ")
                  .body.find("<Extent start=\"2013-10-22T00:00:00.250000Z\" "
                             "end=\"2013-10-22T04:00:00.500000Z\"/>"),
              std::string::npos);
    EXPECT_EQ(Curl("/fdsnws/station/1/query?net=XX").status, 204);
    EXPECT_EQ(Curl("/fdsnws/station/1/query?level=response&format=text").status, 400);

    // The inventory's codes in the other services.
    EXPECT_EQ(Curl("/fdsnws/availability/1/query?sta=ABC&format=request&merge=samplerate&"
                   "start=2013-10-22T03:00:00&end=2013-10-22T03:10:00")
                  .body,
              "ZZ ABC 00 BHN 2013-10-22T03:00:00.500000 2013-10-22T03:10:00.000000\n"
              "ZZ ABC 00 BHZ 2013-10-22T03:00:00.500000 2013-10-22T03:10:00.000000\n");
    EXPECT_EQ(Curl("/fdsnws/dataselect/1/query?net=ZZ&loc=00&cha=BHZ&"
                   "start=2013-10-22T01:40:00&end=2013-10-22T01:50:00")
                  .status,
              200);
    std::filesystem::rename(ws_.Path("answer"), ws_.Path("zz.mseed"));
    const auto sacs = Mseed2Sac(ws_.Path("zz.mseed"), ws_.Path("sac"));
    ASSERT_EQ(sacs.size(), 1u);
    EXPECT_EQ(sacs.begin()->first, "ZZ.ABC.00.BHZ.D.2013.295.014000.SAC");
    EXPECT_EQ(sacs.begin()->second.samples, ReferenceSamples(GeneratorInput(kFirst), 1, 6000, 600));
    EXPECT_EQ(Curl("/fdsnws/dataselect/1/query?net=XX&cha=BHZ&"
                   "start=2013-10-22T01:40:00&end=2013-10-22T01:50:00")
                  .status,
              204);
}

// --encoding in every value, on a series of whole numbers and on one with a step Steim-2
// cannot hold (full-range int32): auto sends the first as Steim-2 and the second as float32
// throughout, as readers on libmseed 2 drop the record where the two meet; steim2 refuses
// the second before a byte is sent; float32 sends both as float32. mseed2sac decodes exactly
// the recorded samples every time.
TEST_P(Serve, EveryEncodingSteimTwoWhereLosslessFloatElsewhere) {
    plqgen::RecordingSpec input = GeneratorInput(kFirst);
    input.samplesPerChannel = 6000;
    for (int channel = 0; channel < 2; ++channel) {
        std::vector<int32_t> samples;
        for (int32_t i = 0; i < 6000; ++i) samples.push_back((i % 200) * 37 - 4000);
        if (channel == 1) {
            for (int32_t i = 3000; i < 3100; ++i) samples[i] = i % 2 ? INT32_MIN : INT32_MAX;
        }
        input.rawSamples.push_back(std::move(samples));
    }
    ws_.WriteRecording("big.plq", input);
    ASSERT_EQ(ws_.Convert("big.plq", "BIG").exitCode, 0);
    // Blockette 1000's encodings of the records: 11 Steim-2, 4 float32; none: refused.
    const std::map<int, int> steim2{{11, 2}}, float32{{4, 6}}, refused{};
    const struct {
        const char* encoding;
        std::map<int, int> bhz, bhn;
    } cases[] = {
        {"auto", steim2, float32}, {"steim2", steim2, refused}, {"float32", float32, float32}};
    for (const auto& c : cases) {
        ASSERT_NO_FATAL_FAILURE(Start({"--encoding", c.encoding}));
        for (const auto& [channel, encodings] : {std::pair{"BHZ", c.bhz}, {"BHN", c.bhn}}) {
            SCOPED_TRACE(std::string(c.encoding) + " " + channel);
            const Answer answer =
                Curl("/fdsnws/dataselect/1/query?sta=BIG&cha=" + std::string(channel) +
                     "&start=2013-10-22&end=2013-10-23");
            EXPECT_EQ(RecordEncodings(answer.body), encodings);
            if (encodings.empty()) {
                EXPECT_EQ(answer.status, 500);
                EXPECT_NE(answer.body.find("--encoding steim2: Steim-2 cannot carry the samples "
                                           "of BIG BHN exactly"),
                          std::string::npos)
                    << answer.body;
                continue;
            }
            ASSERT_EQ(answer.status, 200);
            std::filesystem::rename(ws_.Path("answer"), ws_.Path("big.mseed"));
            const auto sacs =
                Mseed2Sac(ws_.Path("big.mseed"), ws_.Path(c.encoding + std::string(channel)));
            ASSERT_EQ(sacs.size(), 1u);
            EXPECT_EQ(sacs.begin()->first,
                      "XX.BIG.." + std::string(channel) + ".D.2013.295.000000.SAC");
            EXPECT_EQ(sacs.begin()->second.Start(), "00:00:00.250");
            EXPECT_EQ(sacs.begin()->second.samples,
                      ReferenceSamples(input, channel == std::string("BHZ") ? 1 : 2, 0, 6000));
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Catalogs, Serve,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
