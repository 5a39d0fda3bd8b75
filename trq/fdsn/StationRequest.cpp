#include "trq/fdsn/StationRequest.h"

namespace trq {

namespace {

constexpr FdsnParameterInfo kStationOptions[] = {
    {"level", "", "xs:string", "station", "network,station,channel,response",
     "How deep the answer goes"},
    {"format", "", "xs:string", "xml", "xml,text", "StationXML 1.1, or |-separated text"},
    {"includerestricted", "", "xs:boolean", "true", "true,false",
     "Accepted; every epoch of this server is open"},
    {"includeavailability", "", "xs:boolean", "true", "true,false",
     "Accepted; channels always carry the archive's extent as DataAvailability"},
    {"nodata", "", "xs:int", "204", "204,404", "Status of an answer without data"},
};

constexpr StationLevel kLevels[] = {StationLevel::kNetwork, StationLevel::kStation,
                                    StationLevel::kChannel, StationLevel::kResponse};
constexpr const char* kLevelNames[] = {"network", "station", "channel", "response"};

FdsnOptionSetter SetterOf(StationRequest& request) {
    return [&request](const FdsnParameterInfo& info, const std::string& value) {
        const std::string name = info.name;
        if (name == "nodata") request.noDataStatus = std::stoi(OptionValues(info, value, false)[0]);
        if (name == "format") request.format = OptionValues(info, value, false)[0];
        if (name == "level") {
            const std::string level = OptionValues(info, value, false)[0];
            for (std::size_t i = 0; i < std::size(kLevels); ++i) {
                if (level == kLevelNames[i]) request.level = kLevels[i];
            }
        }
        if (name == "includerestricted" || name == "includeavailability") BooleanValue(name, value);
    };
}

StationRequest Checked(StationRequest request) {
    if (request.format == "text" && request.level == StationLevel::kResponse) {
        throw FdsnError(400, "format=text is not offered at level=response; ask for format=xml");
    }
    return request;
}

}  // namespace

const FdsnMethod& StationQuery() {
    static const FdsnMethod query{"query",
                                  "Networks, stations and channels of the inventory (StationXML "
                                  "1.1 or text), with the archive's extents",
                                  WithSelectionParameters(kStationOptions)};
    return query;
}

StationRequest ParseStationGet(const QueryParameters& params) {
    StationRequest request;
    request.selections.push_back(
        ReadFdsnGet(StationQuery().parameters, params, FdsnWindow::kOpen, SetterOf(request)));
    return Checked(std::move(request));
}

StationRequest ParseStationPost(std::string_view body) {
    StationRequest request;
    request.selections = ReadFdsnPost(StationQuery().parameters, body, SetterOf(request));
    return Checked(std::move(request));
}

}  // namespace trq
