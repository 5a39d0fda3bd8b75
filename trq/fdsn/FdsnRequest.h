#pragma once
// What every FDSN web service request shares, read from the query string of a GET or the
// body of a POST: the selections (codes with * and ? wildcards and comma lists, a time
// window each) and the options, each checked against the parameters of the service's
// method. Each service (DataselectRequest.h, AvailabilityRequest.h) lists its own options
// and gives them their meaning; anything a service does not support is refused with a
// text that names it, so that a client never gets an answer to a question it did not ask.

#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "catalog/CatalogSelection.h"

namespace trq {

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

// The selection parameters every method has (starttime, endtime, network, station,
// location, channel), followed by `options`.
std::vector<FdsnParameterInfo> WithSelectionParameters(std::span<const FdsnParameterInfo> options);

// Selection lines a POST body may hold; more are refused with 413.
inline constexpr std::size_t kMaxSelectionLines = 1000;

using QueryParameters = std::vector<std::pair<std::string, std::string>>;

// Gives an option of the method's list its meaning, in the order the request names them;
// throws FdsnError (400) for a value it refuses.
using FdsnOptionSetter =
    std::function<void(const FdsnParameterInfo& info, const std::string& value)>;

// Whether a GET must bound its window: a window without an end could ask for the whole
// archive at once.
enum class FdsnWindow { kOpen, kBounded };

// The one selection of a GET, from its decoded query parameters, each option handed to
// `setOption`. Throws FdsnError (400).
CatalogSelection ReadFdsnGet(std::span<const FdsnParameterInfo> parameters,
                             const QueryParameters& params, FdsnWindow window,
                             const FdsnOptionSetter& setOption);

// The selections of a POST body: "key=value" lines (handed to `setOption`), then one
// selection per line, "NET STA LOC CHA START END". Throws FdsnError (400, or 413 above
// kMaxSelectionLines).
std::vector<CatalogSelection> ReadFdsnPost(std::span<const FdsnParameterInfo> parameters,
                                           std::string_view body,
                                           const FdsnOptionSetter& setOption);

// Checks of option values, each throwing FdsnError (400) with a text that names the
// parameter: one of the parameter's options (or with `list` a comma list of them), a
// number of seconds >= 0, true or false, a positive whole number.
std::vector<std::string> OptionValues(const FdsnParameterInfo& info, const std::string& value,
                                      bool list);
double NonNegativeNumber(const std::string& name, const std::string& value);
bool BooleanValue(const std::string& name, const std::string& value);
int64_t PositiveInteger(const std::string& name, const std::string& value);

}  // namespace trq
