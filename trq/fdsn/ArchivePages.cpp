#include "trq/fdsn/ArchivePages.h"

#include <algorithm>

#include "catalog/ContinuousSegments.h"
#include "recorder/UtcTime.h"
#include "trq/fdsn/ArchiveOverview.h"
#include "trq/fdsn/ArchivePictures.h"
#include "trq/fdsn/HomePage.h"
#include "trq/fdsn/MetricsPage.h"
#include "trq/fdsn/PageText.h"
#include "trq/fdsn/StationPage.h"

namespace trq {

namespace {

constexpr FdsnParameterInfo kStationPageOptions[] = {
    {"days", "", "xs:integer", "30", "", "Whole days before today's midnight in the gaps table"}};
constexpr FdsnParameterInfo kPictureOptions[] = {
    {"width", "", "xs:integer", "", "", "Width of the picture in pixels, 400 to 4000"}};

struct PageRequest {
    CatalogSelection selection;
    std::optional<int64_t> days;
    std::optional<int64_t> width;
};

// A page's parameters as the services read theirs; a form's empty field stands for none.
PageRequest ReadPage(std::span<const FdsnParameterInfo> options, const QueryParameters& query,
                     FdsnWindow window) {
    QueryParameters given;
    std::copy_if(query.begin(), query.end(), std::back_inserter(given),
                 [](const auto& parameter) { return !parameter.second.empty(); });
    PageRequest request;
    const std::vector<FdsnParameterInfo> parameters = WithSelectionParameters(options);
    request.selection = ReadFdsnGet(
        parameters, given, window, [&](const FdsnParameterInfo& info, const std::string& value) {
            const int64_t number = PositiveInteger(info.name, value);
            if (std::string_view(info.name) == "days") {
                if (number > 3660) throw FdsnError(400, "Bad value of days: at most 3660");
                request.days = number;
            } else {
                if (number < 400 || number > 4000) {
                    throw FdsnError(400, "Bad value of width: \"" + value + "\" (400 to 4000)");
                }
                request.width = number;
            }
        });
    return request;
}

void RequireSpan(const TimeWindow& window) {
    if (window.to <= window.from) {
        throw FdsnError(400, "Bad time window: it ends at " + FormatIsoUtcMicroseconds(window.to) +
                                 ", not after its start " + FormatIsoUtcMicroseconds(window.from));
    }
}

// The one station a station page is about.
std::string OneStation(const CatalogSelection& selection) {
    if (selection.stations.size() != 1 || HasWildcard(selection.stations.front()) ||
        selection.stations.front() == "--") {
        throw FdsnError(400, "Parameter sta must name one station, without wildcards");
    }
    return selection.stations.front();
}

// The quick looks' window: as asked (an open side an hour from the other), else the last
// hour of the station's data, within --max-seconds.
TimeWindow QuickLookWindow(const CatalogSelection& selection, const ArchiveOverview& overview,
                           const ServeSettings& settings) {
    const int64_t longest = static_cast<int64_t>(settings.maxSeconds * 1e6);
    if (selection.from || selection.to) {
        const int64_t from = selection.from.value_or(*selection.to - kMicrosecondsPerHour);
        const TimeWindow window{from, selection.to.value_or(from + kMicrosecondsPerHour)};
        RequireSpan(window);
        if (window.Length() > longest) {
            throw FdsnError(400,
                            "The quick-look window is longer than this server reads for one "
                            "channel (--max-seconds)");
        }
        return window;
    }
    int64_t last = overview.now;
    bool any = false;
    for (const OverviewStream& stream : overview.streams) {
        if (!stream.Archived()) continue;
        last = any ? std::max(last, *stream.figures.last) : *stream.figures.last;
        any = true;
    }
    return {last - std::min(kMicrosecondsPerHour, longest), last};
}

std::string PictureKey(RouteKind kind, const PageRequest& request, const TimeWindow& window,
                       int width) {
    std::string key = std::to_string(static_cast<int>(kind));
    for (const auto* codes : {&request.selection.networks, &request.selection.stations,
                              &request.selection.locations, &request.selection.channels}) {
        key += "|";
        for (const std::string& code : *codes) key += code + ",";
    }
    return key + "|" + std::to_string(window.from) + "|" + std::to_string(window.to) + "|" +
           std::to_string(width);
}

}  // namespace

ArchivePages::ArchivePages(const ServeSettings& settings, CatalogPool& pool, ServerLog& log,
                           const RequestMetrics& requests)
    : settings_(settings), pool_(pool), log_(log), requests_(requests) {}

std::string ArchivePages::Answer(RouteKind kind, const QueryParameters& query) {
    switch (kind) {
        case RouteKind::kHome:
            return Home(query);
        case RouteKind::kStationPage:
            return Station(query);
        case RouteKind::kAvailabilityPicture:
        case RouteKind::kQuickLook:
            return Picture(kind, query);
        case RouteKind::kStyle:
            return PageStyleSheet();
        case RouteKind::kIcon:
            return PageIcon();
        case RouteKind::kMetrics:
            return Metrics();
        default:
            throw std::logic_error("not a page");
    }
}

uint64_t ArchivePages::CatalogGeneration() {
    return changes_.Generation([this] {
        CatalogMark mark;
        pool_.Use([&](CatalogStore& catalog) { mark = ReadCatalogMark(catalog); });
        return mark;
    });
}

std::string ArchivePages::Home(const QueryParameters& query) {
    const PageRequest request = ReadPage({}, query, FdsnWindow::kOpen);
    const int64_t now = NowMicroseconds();
    HomeView view;
    view.selection = request.selection;
    view.span.to = request.selection.to.value_or(DayStart(now));
    view.span.from = request.selection.from.value_or(view.span.to - 7 * kMicrosecondsPerDay);
    RequireSpan(view.span);
    pool_.Use([&](CatalogStore& catalog) {
        view.overview =
            ReadOverview(catalog, settings_, request.selection, now, CoverageWindows(now));
        view.watch = settings_.watch->Read(catalog);
    });
    return HomePage(view, settings_);
}

std::string ArchivePages::Station(const QueryParameters& query) {
    const PageRequest request = ReadPage(kStationPageOptions, query, FdsnWindow::kOpen);
    CatalogSelection selection;
    selection.stations = {OneStation(request.selection)};
    const int64_t now = NowMicroseconds();
    StationView view;
    view.station = selection.stations.front();
    view.span.to = DayStart(now);
    view.span.from = view.span.to - request.days.value_or(30) * kMicrosecondsPerDay;
    pool_.Use([&](CatalogStore& catalog) {
        view.overview = ReadOverview(catalog, settings_, selection, now, {});
        if (view.overview.streams.empty()) {
            throw FdsnError(404,
                            "Neither the catalog nor the inventory has station " + view.station);
        }
        view.window = QuickLookWindow(request.selection, view.overview, settings_);
        ServedStreams served(catalog, settings_.network, settings_.inventory.get());
        view.availability.clear();
        for (const OverviewStream& stream : view.overview.streams) {
            if (!stream.Archived()) continue;
            std::vector<ChannelAvailability> described = DescribeAvailability(
                JoinIntoSegmentsPerRate(served.Rows(stream.name, view.span.from, view.span.to)),
                view.span);
            if (described.empty()) {
                described.push_back(
                    {stream.name.station, stream.name.channel, {}, {view.span}, {}, 0});
            }
            view.availability.push_back(std::move(described.front()));
        }
    });
    return StationPage(view, settings_);
}

std::string ArchivePages::Picture(RouteKind kind, const QueryParameters& query) {
    const PageRequest request = ReadPage(kPictureOptions, query, FdsnWindow::kBounded);
    const TimeWindow window{*request.selection.from, *request.selection.to};
    RequireSpan(window);
    const bool quickLook = kind == RouteKind::kQuickLook;
    const int width = static_cast<int>(request.width.value_or(quickLook ? 1000 : 1200));
    const std::string key = PictureKey(kind, request, window, width);
    return pictures_.Get(key, CatalogGeneration(), [&] {
        std::string png;
        pool_.Use([&](CatalogStore& catalog) {
            ServedStreams served(catalog, settings_.network, settings_.inventory.get());
            const std::vector<StreamName> streams = served.Matching(request.selection);
            if (!quickLook) {
                png = AvailabilityPicture(served, streams, window, width);
                return;
            }
            const double seconds =
                static_cast<double>(streams.size()) * static_cast<double>(window.Length()) / 1e6;
            if (seconds > settings_.maxSeconds) {
                throw FdsnError(413,
                                "A quick look of " + std::to_string(streams.size()) +
                                    " streams over this window reads more than the " +
                                    std::to_string(static_cast<int64_t>(settings_.maxSeconds)) +
                                    " seconds of data this server reads at once "
                                    "(--max-seconds)");
            }
            png = QuickLookPicture(served, streams, window, width, settings_, log_);
        });
        return png;
    });
}

std::string ArchivePages::Metrics() {
    const uint64_t generation = CatalogGeneration();
    const int64_t now = NowMicroseconds();
    MetricsView view;
    pool_.Use([&](CatalogStore& catalog) {
        view.overview = ReadOverview(catalog, settings_, {}, now, {}, now - kMicrosecondsPerDay);
        std::lock_guard lock(totalsMutex_);
        if (!totals_ || totals_->first != generation) {
            totals_.emplace(generation, ReadStreamTotals(catalog));
        }
        for (const StreamTotals& totals : totals_->second)
            view.totals[{totals.station, totals.channel}] = totals;
        view.watch = settings_.watch->Read(catalog);
    });
    view.requests = requests_.Snapshot();
    view.pictureHits = pictures_.Hits();
    view.pictureMisses = pictures_.Misses();
    return MetricsPage(view);
}

}  // namespace trq
