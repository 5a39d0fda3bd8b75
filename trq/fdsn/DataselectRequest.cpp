#include "trq/fdsn/DataselectRequest.h"

namespace trq {

namespace {

constexpr FdsnParameterInfo kDataselectOptions[] = {
    {"quality", "", "xs:string", "B", "D,R,Q,M,B", "Quality; every record of this archive is D"},
    {"minimumlength", "", "xs:double", "0.0", "",
     "Leave out continuous segments shorter than this many seconds"},
    {"longestonly", "", "xs:boolean", "false", "true,false",
     "Only the longest continuous segment of each channel"},
    {"format", "", "xs:string", "miniseed", "miniseed",
     "miniSEED 2, Steim-2 where lossless, else float32"},
    {"nodata", "", "xs:int", "204", "204,404", "Status of an answer without data"},
};

FdsnOptionSetter SetterOf(DataselectRequest& request) {
    return [&request](const FdsnParameterInfo& info, const std::string& value) {
        const std::string name = info.name;
        if (name == "nodata") request.noDataStatus = std::stoi(OptionValues(info, value, false)[0]);
        if (name == "format") request.format = OptionValues(info, value, false)[0];
        if (name == "quality") request.qualities = OptionValues(info, value, true);
        if (name == "minimumlength") request.minimumLength = NonNegativeNumber(name, value);
        if (name == "longestonly") request.longestOnly = BooleanValue(name, value);
    };
}

}  // namespace

const FdsnMethod& DataselectQuery() {
    static const FdsnMethod query{"query",
                                  "miniSEED 2 records (Steim-2 or float32) of a time window",
                                  WithSelectionParameters(kDataselectOptions)};
    return query;
}

DataselectRequest ParseDataselectGet(const QueryParameters& params) {
    DataselectRequest request;
    request.selections.push_back(
        ReadFdsnGet(DataselectQuery().parameters, params, FdsnWindow::kBounded, SetterOf(request)));
    return request;
}

DataselectRequest ParseDataselectPost(std::string_view body) {
    DataselectRequest request;
    request.selections = ReadFdsnPost(DataselectQuery().parameters, body, SetterOf(request));
    return request;
}

}  // namespace trq
