#pragma once
// What an FDSN web service request asks for, read from the query string of a GET or the
// body of a POST (fdsnws-dataselect 1.1, fdsnws-availability 1.0): the selections (codes
// with * and ? wildcards and comma lists, a time window each) and the options. Every
// parameter is checked here; anything the services do not support is refused with a text
// that names it, so that a client never gets an answer to a question it did not ask.

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace trq {

enum class FdsnService { kDataselect, kAvailability };
enum class FdsnMethod { kQuery, kExtent };  // dataselect has only kQuery

// "dataselect", "availability"; "1.1.0", "1.0.0": the FDSN document's major and minor
// version, then this implementation's own counter.
const char* ServiceName(FdsnService service);
const char* ServiceVersion(FdsnService service);

// A request the services refuse: the HTTP status (400, 413) and the detailed text of the
// error body.
class FdsnError : public std::runtime_error {
  public:
    FdsnError(int status, const std::string& message)
        : std::runtime_error(message), status_(status) {}
    int Status() const { return status_; }

  private:
    int status_;
};

// One selection. Each code list holds patterns ('*' any run of characters, '?' one);
// "--" in a location list stands for the blank location code.
struct FdsnSelection {
    std::vector<std::string> networks{"*"};
    std::vector<std::string> stations{"*"};
    std::vector<std::string> locations{"*"};
    std::vector<std::string> channels{"*"};
    std::optional<int64_t> start;  // microseconds since 1970 UTC; none: unbounded
    std::optional<int64_t> end;    // not included
};

struct FdsnRequest {
    std::vector<FdsnSelection> selections;
    int noDataStatus = 204;
    std::string format;  // miniseed (dataselect); text, json or request (availability)
    // Quality codes asked for: dataselect D, R, Q, M or B; availability also *.
    std::vector<std::string> qualities;
    // dataselect
    double minimumLength = 0;  // seconds: shorter continuous segments are left out
    bool longestOnly = false;
    // availability
    bool mergeQuality = false;
    bool mergeSampleRate = false;
    bool mergeOverlap = false;
    std::optional<double> mergeGaps;  // seconds
    std::string orderBy = "nslc_time_quality_samplerate";
    std::optional<int64_t> limit;
    bool showLatestUpdate = false;
};

// A parameter as the services know it, for checking requests and for describing the
// services (application.wadl and the usage pages).
struct FdsnParameterInfo {
    const char* name;
    const char* alias;         // "" when none
    const char* type;          // an XML Schema type: xs:string, xs:dateTime, ...
    const char* defaultValue;  // "" when none
    const char* options;       // comma list of the values allowed, "" when any
    const char* help;
};

// The parameters of a method, in the order the WADL lists them.
std::span<const FdsnParameterInfo> FdsnParameters(FdsnService service, FdsnMethod method);

// Selection lines a POST body may hold; more are refused with 413.
inline constexpr std::size_t kMaxSelectionLines = 1000;

using QueryParameters = std::vector<std::pair<std::string, std::string>>;

// The request of a GET, from its decoded query parameters. Throws FdsnError (400).
FdsnRequest ParseFdsnGet(FdsnService service, FdsnMethod method, const QueryParameters& params);

// The request of a POST body: "key=value" lines, then one selection per line,
// "NET STA LOC CHA START END". Throws FdsnError (400, or 413 above kMaxSelectionLines).
FdsnRequest ParseFdsnPost(FdsnService service, FdsnMethod method, std::string_view body);

// True when `code` fits one of `patterns`; "--" fits the blank code only.
bool MatchesAnyPattern(const std::vector<std::string>& patterns, std::string_view code);

}  // namespace trq
