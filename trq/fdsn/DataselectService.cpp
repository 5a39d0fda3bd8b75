#include "trq/fdsn/DataselectService.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <span>

#include "catalog/CatalogComparison.h"
#include "trq/fdsn/ArchiveChecksums.h"
#include "trq/fdsn/CatalogPool.h"
#include "trq/mseed/EncodingChoice.h"

namespace trq {

namespace {

// Records per piece: large enough that each piece is one read of the file, small enough
// that a piece costs next to nothing in memory (16 x 4096 bytes).
constexpr std::size_t kRecordsPerPiece = 16;
constexpr std::size_t kSteim2PieceFactor = 4;

bool AsksForQualityD(const DataselectRequest& request) {
    if (request.qualities.empty()) return true;
    return std::any_of(request.qualities.begin(), request.qualities.end(),
                       [](const std::string& quality) { return quality == "D" || quality == "B"; });
}

double Seconds(const PlannedTrace& trace) {
    return static_cast<double>(trace.samples) / trace.segment.rate;
}

// The traces of one stream's rows within a window, after minimumlength and longestonly.
std::vector<PlannedTrace> StreamTraces(std::vector<CatalogRow> rows, const TimeWindow& window,
                                       const DataselectRequest& request) {
    std::vector<PlannedTrace> traces;
    for (ContinuousSegment& segment : JoinIntoSegmentsPerRate(std::move(rows))) {
        PlannedTrace trace{std::move(segment), window, 0, "", ""};
        trace.samples = CountWindowSamples(trace.segment, window);
        if (trace.samples > 0 && Seconds(trace) >= request.minimumLength) {
            traces.push_back(std::move(trace));
        }
    }
    if (request.longestOnly && traces.size() > 1) {
        auto longest = std::max_element(
            traces.begin(), traces.end(),
            [](const PlannedTrace& a, const PlannedTrace& b) { return Seconds(a) < Seconds(b); });
        std::vector<PlannedTrace> kept;
        kept.push_back(std::move(*longest));
        traces = std::move(kept);
    }
    return traces;
}

// Leaves out the rows whose files cannot give their samples, noting each in the log.
std::vector<CatalogRow> RowsWithGoodFiles(std::vector<CatalogRow> rows, const std::string& dataDir,
                                          ServerLog& log) {
    std::erase_if(rows, [&](const CatalogRow& row) {
        const std::vector<std::string> problems = RowFileProblems(row, dataDir);
        for (const std::string& problem : problems)
            log.Note("skipped " + row.path + ": " + problem);
        return !problems.empty();
    });
    return rows;
}

std::string SecondsText(double seconds) {
    char text[48];
    std::snprintf(text, sizeof text, "%.6g seconds of data", seconds);
    return text;
}

// Refuses, before a file is opened, a plan larger than the settings allow.
void CheckSize(const DataselectPlan& plan, const ServeSettings& settings) {
    const bool tooLong = plan.seconds > settings.maxSeconds;
    const bool tooMany = settings.maxSamples > 0 && plan.samples > settings.maxSamples;
    if (!tooLong && !tooMany) return;
    std::string limit = SecondsText(settings.maxSeconds);
    if (settings.maxSamples > 0)
        limit += " and " + std::to_string(settings.maxSamples) + " samples";
    throw FdsnError(413, "The request asks for " + SecondsText(plan.seconds) + " (" +
                             std::to_string(plan.samples) +
                             " samples) over all its channels; this server sends at most " + limit +
                             " per request. Ask for shorter windows or fewer channels, in "
                             "several requests.");
}

void AddTraces(DataselectPlan& plan, std::vector<PlannedTrace> traces, const StreamName& name) {
    for (PlannedTrace& trace : traces) {
        trace.network = name.network;
        trace.location = name.location;
        plan.samples += trace.samples;
        plan.seconds += Seconds(trace);
        plan.traces.push_back(std::move(trace));
    }
}

}  // namespace

DataselectPlan PlanDataselect(ServedStreams& streams, const DataselectRequest& request,
                              const ServeSettings& settings, ServerLog& log) {
    struct StreamWindow {
        std::vector<CatalogRow> rows;
        TimeWindow window;
        StreamName name;
    };
    std::vector<StreamWindow> found;
    DataselectPlan sized;  // from the rows alone: no file is opened for a refused request
    if (AsksForQualityD(request)) {
        for (const CatalogSelection& selection : request.selections) {
            const TimeWindow window{*selection.from, *selection.to};
            for (const StreamName& stream : streams.Select(selection)) {
                std::vector<CatalogRow> rows = streams.Rows(stream, window.from, window.to);
                if (rows.empty()) continue;
                AddTraces(sized, StreamTraces(rows, window, request), stream);
                found.push_back({std::move(rows), window, stream});
            }
        }
    }
    CheckSize(sized, settings);
    DataselectPlan plan;
    for (StreamWindow& stream : found) {
        std::vector<CatalogRow> good =
            RowsWithGoodFiles(std::move(stream.rows), settings.dataDir, log);
        AddTraces(plan, StreamTraces(std::move(good), stream.window, request), stream.name);
    }
    return plan;
}

std::vector<std::string> FilesRead(const DataselectPlan& plan) {
    std::vector<std::string> paths;
    for (const PlannedTrace& trace : plan.traces) {
        for (const CatalogRow& row : trace.segment.files) {
            const auto start = static_cast<int64_t>(std::llround(row.start * 1e6));
            const auto end = static_cast<int64_t>(std::llround((row.start + row.duration) * 1e6));
            const bool read = start < trace.window.to && end > trace.window.from;
            if (read && std::find(paths.begin(), paths.end(), row.path) == paths.end()) {
                paths.push_back(row.path);
            }
        }
    }
    return paths;
}

MiniSeedStream::MiniSeedStream(DataselectPlan plan, const ServeSettings& settings)
    : plan_(std::move(plan)),
      settings_(settings),
      samplesPerPiece_(kRecordsPerPiece * Float32SamplesPerRecord(settings.recordLength)) {
    if (!ChoiceMayRefuse(settings_.encoding)) return;
    for (const PlannedTrace& trace : plan_.traces) encodings_.push_back(EncodingOf(trace));
}

MiniSeedEncoding MiniSeedStream::EncodingOf(const PlannedTrace& trace) const {
    return ChooseEncoding(
        settings_.encoding, [&] { return Steim2CarriesTrace(trace); }, trace.segment.station,
        trace.segment.channel);
}

bool MiniSeedStream::Steim2CarriesTrace(const PlannedTrace& trace) const {
    WindowSampleReader scan(settings_.dataDir, trace.segment, trace.window);
    std::optional<float> last;  // of the piece before, for the step across
    for (std::vector<float> piece = scan.Next(static_cast<int64_t>(samplesPerPiece_));
         !piece.empty(); piece = scan.Next(static_cast<int64_t>(samplesPerPiece_))) {
        if (last) piece.insert(piece.begin(), *last);
        if (!Steim2Carries(piece)) return false;
        last = piece.back();
    }
    return true;
}

std::string MiniSeedStream::Next() {
    while (trace_ < plan_.traces.size()) {
        const PlannedTrace& trace = plan_.traces[trace_];
        if (!reader_) {
            if (encodings_.size() == trace_) encodings_.push_back(EncodingOf(trace));
            steim2_ = encodings_[trace_] == MiniSeedEncoding::kSteim2;
            reader_.emplace(settings_.dataDir, trace.segment, trace.window);
            sent_ = 0;
        }
        // Steim-2 records hold several times the samples of float32 ones, and a piece's last
        // record is seldom full: Steim-2 pieces are larger, so that few records are partial.
        const std::vector<float> piece = reader_->Next(static_cast<int64_t>(
            steim2_ ? kSteim2PieceFactor * samplesPerPiece_ : samplesPerPiece_));
        if (piece.empty()) {
            reader_.reset();
            ++trace_;
            continue;
        }
        // A float32 record holds a fixed count of samples, each packed from its first sample's
        // own time; Steim-2 records hold as many as fit, so a piece is packed at once.
        std::string records;
        const std::size_t perRecord = steim2_ ? piece.size() : samplesPerPiece_ / kRecordsPerPiece;
        for (std::size_t first = 0; first < piece.size(); first += perRecord) {
            const std::span<const float> samples(piece.data() + first,
                                                 std::min(perRecord, piece.size() - first));
            const int64_t start = SampleTime(reader_->Start(), trace.segment.rate,
                                             sent_ + static_cast<int64_t>(first));
            // Sequence numbers have six digits: 1 to 999999, then 1 again.
            const auto sequence = static_cast<int32_t>(records_ % 999999 + 1);
            const MiniSeedTrace packed{
                trace.network.empty() ? settings_.network : trace.network,
                trace.segment.station,
                trace.location,
                trace.segment.channel,
                trace.segment.rate,
                start,
                samples,
                sequence,
                steim2_ ? MiniSeedEncoding::kSteim2 : MiniSeedEncoding::kFloat32};
            records_ += PackMiniSeed(
                packed, settings_.recordLength,
                [&](const char* record, std::size_t length) { records.append(record, length); });
        }
        sent_ += static_cast<int64_t>(piece.size());
        return records;
    }
    return std::string();
}

namespace {

class Dataselect : public FdsnService {
  public:
    const char* Name() const override { return "dataselect"; }
    const char* Version() const override { return "1.1.0"; }
    const std::vector<FdsnMethod>& Methods() const override {
        static const std::vector<FdsnMethod> methods{DataselectQuery()};
        return methods;
    }
    std::vector<const char*> MediaTypes() const override { return {"application/vnd.fdsn.mseed"}; }

    FdsnAnswer Answer(const FdsnCall& call, const FdsnServing& serving) const override {
        // A POST carries everything in its body, whatever its content type made of it.
        const DataselectRequest request =
            call.post ? ParseDataselectPost(call.body) : ParseDataselectGet(call.query);
        DataselectPlan plan;
        FdsnAnswer answer;
        serving.pool.Use([&](CatalogStore& catalog) {
            ServedStreams streams(catalog, serving.settings.network,
                                  serving.settings.inventory.get());
            plan = PlanDataselect(streams, request, serving.settings, serving.log);
            answer.headers = ArchiveChecksumHeaders(catalog, FilesRead(plan));
        });
        if (plan.traces.empty()) {
            answer.noDataStatus = request.noDataStatus;
            return answer;
        }
        std::shared_ptr<MiniSeedStream> stream;
        try {
            stream = std::make_shared<MiniSeedStream>(std::move(plan), serving.settings);
        } catch (const Steim2Refusal& e) {
            throw FdsnError(500, std::string("The records cannot be made: ") + e.what());
        }
        answer.contentType = "application/vnd.fdsn.mseed";
        answer.next = [stream] { return stream->Next(); };
        return answer;
    }
};

}  // namespace

const FdsnService& DataselectService() {
    static const Dataselect service;
    return service;
}

}  // namespace trq
