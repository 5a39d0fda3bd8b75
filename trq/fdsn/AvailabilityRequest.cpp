#include "trq/fdsn/AvailabilityRequest.h"

namespace trq {

namespace {

constexpr FdsnParameterInfo kQueryOptions[] = {
    {"quality", "", "xs:string", "*", "D,R,Q,M,*", "Quality; every record of this archive is D"},
    {"merge", "", "xs:string", "", "samplerate,quality,overlap", "Comma list of what to merge"},
    {"mergegaps", "", "xs:double", "", "", "Merge spans separated by at most this many seconds"},
    {"orderby", "", "xs:string", "nslc_time_quality_samplerate",
     "nslc_time_quality_samplerate,latestupdate,latestupdate_desc", "Order of the rows"},
    {"limit", "", "xs:int", "", "", "At most this many rows"},
    {"includerestricted", "", "xs:boolean", "false", "true,false",
     "Every stream of this archive is open"},
    {"format", "", "xs:string", "text", "text,json,request", "Output format"},
    {"nodata", "", "xs:int", "204", "204,404", "Status of an answer without data"},
    {"show", "", "xs:string", "", "latestupdate", "latestupdate adds the time of the last load"},
};

constexpr FdsnParameterInfo kExtentOptions[] = {
    {"quality", "", "xs:string", "*", "D,R,Q,M,*", "Quality; every record of this archive is D"},
    {"merge", "", "xs:string", "", "samplerate,quality,overlap", "Comma list of what to merge"},
    {"orderby", "", "xs:string", "nslc_time_quality_samplerate",
     "nslc_time_quality_samplerate,latestupdate,latestupdate_desc,timespancount,"
     "timespancount_desc",
     "Order of the rows"},
    {"limit", "", "xs:int", "", "", "At most this many rows"},
    {"includerestricted", "", "xs:boolean", "false", "true,false",
     "Every stream of this archive is open"},
    {"format", "", "xs:string", "text", "text,json,request", "Output format"},
    {"nodata", "", "xs:int", "204", "204,404", "Status of an answer without data"},
};

FdsnOptionSetter SetterOf(AvailabilityRequest& request) {
    return [&request](const FdsnParameterInfo& info, const std::string& value) {
        const std::string name = info.name;
        if (name == "nodata") request.noDataStatus = std::stoi(OptionValues(info, value, false)[0]);
        if (name == "format") request.format = OptionValues(info, value, false)[0];
        if (name == "quality") request.qualities = OptionValues(info, value, true);
        if (name == "includerestricted") BooleanValue(name, value);
        if (name == "mergegaps") request.mergeGaps = NonNegativeNumber(name, value);
        if (name == "orderby") request.orderBy = OptionValues(info, value, false)[0];
        if (name == "limit") request.limit = PositiveInteger(name, value);
        if (name == "show") request.showLatestUpdate = !OptionValues(info, value, false).empty();
        if (name == "merge") {
            for (const std::string& item : OptionValues(info, value, true)) {
                request.mergeSampleRate = request.mergeSampleRate || item == "samplerate";
                request.mergeQuality = request.mergeQuality || item == "quality";
                request.mergeOverlap = request.mergeOverlap || item == "overlap";
            }
        }
    };
}

const FdsnMethod& MethodOf(AvailabilityMethod method) {
    return AvailabilityMethods()[static_cast<std::size_t>(method)];
}

}  // namespace

const std::vector<FdsnMethod>& AvailabilityMethods() {
    static const std::vector<FdsnMethod> methods{
        {"query", "continuous time spans", WithSelectionParameters(kQueryOptions)},
        {"extent", "the earliest and latest time of each stream",
         WithSelectionParameters(kExtentOptions)},
    };
    return methods;
}

AvailabilityRequest ParseAvailabilityGet(AvailabilityMethod method, const QueryParameters& params) {
    AvailabilityRequest request;
    request.selections.push_back(
        ReadFdsnGet(MethodOf(method).parameters, params, FdsnWindow::kOpen, SetterOf(request)));
    return request;
}

AvailabilityRequest ParseAvailabilityPost(AvailabilityMethod method, std::string_view body) {
    AvailabilityRequest request;
    request.selections = ReadFdsnPost(MethodOf(method).parameters, body, SetterOf(request));
    return request;
}

}  // namespace trq
