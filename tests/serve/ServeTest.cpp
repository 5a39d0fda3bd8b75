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
#include <regex>
#include <set>
#include <thread>
#include <tuple>

#include "recorder/UtcTime.h"
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
        {"GET", "/station", "?sta=ABC", 200, html},
        {"GET", "/pictures/availability.png", "?sta=A*&start=2013-10-22&end=2013-10-23", 200,
         "image/png"},
        {"GET", "/pictures/quicklook.png", get, 200, "image/png"},
        {"GET", "/trq.css", "", 200, "text/css; charset=utf-8"},
        {"GET", "/favicon.ico", "", 200, "image/svg+xml"},
        {"GET", "/metrics", "", 200, "text/plain; version=0.0.4; charset=utf-8"},
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
    // spans of their own rates, one only when merge=samplerate asks for it; a station matched
    // by two patterns and a channel named twice give each span once.
    ExecuteSql(ws_.Catalog(),
               "INSERT INTO FILELIST (STA,SPS,GAIN,CPATH,DATATYPE,CH,CREATER,LDDATE,TBEGIN,TQTY,"
               "FOFF) VALUES ('ABC',2,1,'ABC\\rate2',3,'BHZ','PLQ2TRQ','2013-10-22 00:00:00',"
               "1382407200.25,600,512)");
    const std::string spans =
        "/fdsnws/availability/1/query?net=XX&sta=ABC,A*C&cha=BHZ,BHZ&format=request&"
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
    const std::string home = Curl("/").body;
    const std::size_t row = home.find("<tr data-stream=\"XX.ABCDEFG..BHZ\">");
    EXPECT_NE(home.find("not served: the station &quot;ABCDEFG&quot;", row), std::string::npos)
        << home;
    EXPECT_LT(home.find("not served", row), home.find("<tr", row + 1)) << home;
    // The pages refuse what they cannot show, with the FDSN error body.
    for (const auto& [path, status] : std::vector<std::pair<std::string, int>>{
             {"/station?sta=AB*", 400},
             {"/station?sta=NONE", 404},
             {"/station?sta=ABC&start=2013-10-20&end=2013-10-23", 400},
             {"/?start=2013-10-23&end=2013-10-22", 400},
             {"/pictures/availability.png?start=2013-10-22", 400},
             {"/pictures/quicklook.png?sta=ABC&start=2013-10-21&end=2013-10-23", 413}}) {
        const Answer answer = Curl(path);
        EXPECT_EQ(answer.status, status) << path;
        EXPECT_TRUE(answer.body.starts_with("Error " + std::to_string(status))) << answer.body;
    }
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
    ASSERT_EQ(zz["stations"].size(), 3u);
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

// A recording of two channels at 1 sample/s whose first sample lies at `second` (UTC).
plqgen::RecordingSpec RecordingAt(int64_t second, int32_t samples) {
    const CivilTime t = EpochSecondsToCivil(second);
    plqgen::RecordingSpec input = RampRecording(0, 0, 0, 0, samples);
    input.year = static_cast<int16_t>(t.year), input.month = static_cast<int16_t>(t.month);
    input.day = static_cast<int16_t>(t.day), input.hour = static_cast<int16_t>(t.hour);
    input.minute = static_cast<int16_t>(t.minute), input.second = static_cast<int16_t>(t.second);
    return input;
}

std::string Iso(int64_t second) {
    return FormatIsoUtcMicroseconds(second * 1000000);
}

// The home page, a station page and /metrics in Chromium (tests/fdsn/browser.mjs), over the
// archive of SetUp and two stations of today: NOW with an hour two days before today's
// midnight and the whole day that ends at it, CUR with an hour two hours ago and twenty
// minutes that ended ten minutes ago. ABC's streams are renamed ZZ.ABC.00 by the inventory,
// whose FAR has no data. Then /metrics through promtool, its values against the catalog.
TEST_P(Serve, PagesInABrowserAndMetricsAgreeWithTheCatalog) {
    const int64_t now = std::time(nullptr), midnight = now / 86400 * 86400;
    for (const auto& [station, start, samples] : {std::tuple{"NOW", midnight - 93600, 3600},
                                                  {"NOW", midnight - 86400, 86400},
                                                  {"CUR", now - 7200, 3600},
                                                  {"CUR", now - 1800, 1200}}) {
        ws_.WriteRecording("today.plq", RecordingAt(start, samples));
        ASSERT_EQ(ws_.Convert("today.plq", station).exitCode, 0) << station;
    }
    ASSERT_NO_FATAL_FAILURE(
        Start({"--inventory", PLQ_SOURCE_DIR "/tests/golden/station/inventory.xml"}));
    const std::string kind = GetParam() == CatalogKind::kSqlite ? "sqlite" : "postgres";
    const ProcessResult browser = RunProcess(
        "/usr/bin/env",
        {"node", PLQ_FDSN_CLIENT_DIR "/browser.mjs", Base(), PLQ_SCREENSHOT_DIR,
         ws_.Path("chromium"), "home-" + kind + "=/",
         "station-" + kind + "=/station?sta=ABC&start=2013-10-22T01:30:00&end=2013-10-22T03:30:00",
         "metrics-" + kind + "=/metrics"},
        ws_.Dir().Path(), ws_.Env(), std::chrono::seconds(240));
    ASSERT_EQ(browser.exitCode, 0) << browser.err;
    const json pages = json::parse(browser.out);
    for (const auto& [name, page] : pages.items()) {
        SCOPED_TRACE(name);
        EXPECT_EQ(page["status"], 200);
        EXPECT_EQ(page["consoleErrors"], json::array());
        EXPECT_EQ(page["failed"], json::array());
        for (const json& image : page["images"]) EXPECT_TRUE(image["decoded"]) << image;
        for (const json& link : page["links"]) {
            const bool noData = link["row"].get<std::string>().find("no data") != std::string::npos;
            EXPECT_TRUE(link["status"] == 200 || (link["status"] == 204 && noData)) << link;
        }
        const int64_t made = *ParseIsoUtcMicroseconds(page["made"].get<std::string>());
        for (const json& row : page["rows"]) {
            if (row["last"] == "") continue;
            char latency[40];
            std::snprintf(latency, sizeof latency, "%.6f",
                          (made - *ParseIsoUtcMicroseconds(row["last"].get<std::string>())) / 1e6);
            EXPECT_EQ(row["latencySeconds"], latency) << row;
        }
    }
    // Every stream of the catalog and of the inventory, under its served codes.
    const std::string abcFirst = "2013-10-22T00:00:00.250000Z",
                      abcLast = "2013-10-22T04:00:00.500000Z";
    const std::vector<std::string> none(3, "0.00 %"), nowCoverage{"100.00 %", "14.88 %", "3.47 %"};
    const struct {
        std::string stream, first, last, latency;
        std::vector<std::string> coverage;
    } expected[] = {{"ZZ.ABC.00.BHN", abcFirst, abcLast, "silent", none},
                    {"ZZ.ABC.00.BHZ", abcFirst, abcLast, "silent", none},
                    {"XX.ABCDEFG..BHN", "2013-10-22T03:00:00.500000Z", abcLast, "silent", none},
                    {"XX.ABCDEFG..BHZ", "2013-10-22T03:00:00.500000Z", abcLast, "silent", none},
                    {"XX.CUR..BHN", Iso(now - 7200), Iso(now - 600), "current", {}},
                    {"XX.CUR..BHZ", Iso(now - 7200), Iso(now - 600), "current", {}},
                    {"ZZ.FAR..HHZ", "", "", "no-data", none},
                    {"XX.NOW..BHN", Iso(midnight - 93600), Iso(midnight), "", nowCoverage},
                    {"XX.NOW..BHZ", Iso(midnight - 93600), Iso(midnight), "", nowCoverage},
                    {"ZZ.OLD..BHZ", "", "", "no-data", none}};
    const json& rows = pages["home-" + kind]["rows"];
    ASSERT_EQ(rows.size(), std::size(expected)) << rows.dump(1);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(expected[i].stream);
        EXPECT_EQ(rows[i]["stream"], expected[i].stream);
        EXPECT_EQ(rows[i]["first"], expected[i].first);
        EXPECT_EQ(rows[i]["last"], expected[i].last);
        if (!expected[i].latency.empty()) {
            EXPECT_EQ(rows[i]["latencyClass"], expected[i].latency);
        }
        if (!expected[i].coverage.empty()) {
            EXPECT_EQ(rows[i]["coverage"], expected[i].coverage);
        }
    }
    // The station page: the inventory's metadata in words, a quick look per channel, and its
    // form asking each service for what it shows.
    const json& station = pages["station-" + kind];
    EXPECT_NE(
        station["rows"][1]["text"].get<std::string>().find("629145000 COUNTS per M/S at 1 Hz"),
        std::string::npos)
        << station["rows"];
    EXPECT_EQ(station["images"].size(), 2u);
    std::vector<std::pair<int, std::string>> submitted;
    for (const json& submit : station["submits"])
        submitted.push_back({submit["status"], submit["type"]});
    EXPECT_EQ(
        submitted,
        (std::vector<std::pair<int, std::string>>{
            {200, "application/vnd.fdsn.mseed"}, {200, "text/plain"}, {200, "application/xml"}}));

    // /metrics: the format as promtool reads it (no complaint at all), values from the catalog
    // and from requests only this test makes.
    EXPECT_EQ(Curl("/station?sta=NONE").status, 404);
    EXPECT_EQ(Curl("/nowhere").status, 404);
    const Answer metrics = Curl("/metrics");
    WriteFile(ws_.Path("metrics.txt"), metrics.body);
    const ProcessResult lint = RunProcess(
        "/bin/sh", {"-c", "promtool check metrics < metrics.txt 2>&1"}, ws_.Dir().Path());
    EXPECT_EQ(lint.exitCode, 0) << lint.out;
    EXPECT_EQ(lint.out, "") << lint.out;
    for (
        const std::string line :
        {"trq_stream_last_sample_timestamp_seconds{network=\"ZZ\",station=\"ABC\",location=\"00\","
         "channel=\"BHZ\"} 1382414400.5",
         "trq_stream_archive_files{network=\"ZZ\",station=\"ABC\",location=\"00\",channel=\"BHZ\"} "
         "2",
         "trq_stream_archive_samples{network=\"ZZ\",station=\"ABC\",location=\"00\",channel="
         "\"BHZ\"} "
         "10800",
         "trq_stream_archive_files{network=\"ZZ\",station=\"FAR\",location=\"\",channel=\"HHZ\"} 0",
         "trq_stream_archive_samples{network=\"XX\",station=\"NOW\",location=\"\",channel=\"BHN\"} "
         "90000",
         "trq_stream_gaps_last_day{network=\"XX\",station=\"CUR\",location=\"\",channel=\"BHZ\"} 1",
         "trq_stream_gaps_last_day{network=\"XX\",station=\"NOW\",location=\"\",channel=\"BHZ\"} 0",
         "trq_http_requests_total{service=\"station-page\",code=\"404\"} 1",
         "trq_http_requests_total{service=\"none\",code=\"404\"} 1",
         "trq_picture_cache_requests_total{result=\"miss\"} 3"}) {
        EXPECT_NE(metrics.body.find("\n" + line + "\n"), std::string::npos) << line;
    }
    // Each histogram's +Inf bucket holds all its requests.
    const std::regex infinite(R"re(_bucket\{service="([a-z-]+)",le="\+Inf"\} (\d+)\n)re");
    for (std::sregex_iterator it(metrics.body.begin(), metrics.body.end(), infinite), end;
         it != end; ++it) {
        EXPECT_NE(metrics.body.find("_count{service=\"" + (*it)[1].str() + "\"} " + (*it)[2].str() +
                                    "\n"),
                  std::string::npos)
            << (*it)[0];
    }
    // A picture asked again is the one kept, until the catalog changes.
    const std::string picture = "/pictures/availability.png?start=2013-10-22&end=2013-10-23";
    const auto cacheCount = [&](const char* result) {
        const std::string body = Curl("/metrics").body,
                          name = "result=\"" + std::string(result) + "\"} ";
        return std::atoi(body.c_str() + body.find(name) + name.size());
    };
    Curl(picture);
    Curl(picture);
    EXPECT_EQ(cacheCount("hit"), 1);
    ExecuteSql(ws_.Catalog(),
               "UPDATE FILELIST SET TQTY=TQTY-1 WHERE STA='ABC' AND CH='BHZ' AND "
               "TBEGIN>1382410000");
    EXPECT_TRUE(WaitUntil([&] { return Curl(picture).status == 200 && cacheCount("miss") == 5; },
                          std::chrono::seconds(20), "the picture drawn again"));

    // What the watch mode leaves: its state file, a station's journal (15 bytes), and the
    // record of recordings, which every conversion above wrote: the last of each station.
    WriteFile(ws_.ArchiveDir() + "/.plq2trq-watch.state",
              R"({"pid": 1, "state": "watching", "backlog": 2, "outcomes": {"converted": 812,)"
              R"( "failed": 3, "incomplete": 0}})");
    WriteFile(ws_.ArchiveDir() + "/NOW/.plq2trq.journal", "a\tjournal\tline\n");
    const std::string watched = Curl("/metrics").body;
    for (const std::string line :
         {"trq_watch_recordings_total{outcome=\"converted\"} 812",
          "trq_watch_recordings_total{outcome=\"failed\"} 3",
          "trq_watch_recordings_total{outcome=\"incomplete\"} 0", "trq_watch_backlog_recordings 2",
          "trq_catalog_journal_bytes 15"}) {
        EXPECT_NE(watched.find("\n" + line + "\n"), std::string::npos) << line;
    }
    const std::string home = Curl("/").body;
    EXPECT_NE(home.find("<th>Last recording</th>"), std::string::npos);
    EXPECT_NE(home.find(">today.plq<br>converted<br><time"), std::string::npos) << home;
}

INSTANTIATE_TEST_SUITE_P(Catalogs, Serve,
                         ::testing::Values(CatalogKind::kSqlite, CatalogKind::kPostgres),
                         CatalogKindName);

}  // namespace
