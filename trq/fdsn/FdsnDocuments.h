#pragma once
// The fixed documents of the web services: the FDSN error text, each service's WADL and
// usage page (the index page that lists the archive's streams: IndexPage.h).

#include <cstdint>
#include <string>

#include "trq/fdsn/FdsnService.h"

namespace trq {

// "Bad Request", "Payload Too Large", ...: the short text of an HTTP status.
const char* StatusText(int status);

// The error body the FDSN web service specifications lay down: "Error <status>: <text>",
// the detail, where the usage is described, the request, when it came and the service
// version. `service` is null for paths outside the services.
std::string FdsnErrorBody(int status, const std::string& detail, const FdsnService* service,
                          const std::string& host, const std::string& target, int64_t submitted);

// application.wadl of a service, for clients that find out what it supports; `baseUrl`
// is "http://host/fdsnws/<service>/1/".
std::string ServiceWadl(const FdsnService& service, const std::string& baseUrl);

// A plain-text page on a service's methods and parameters (its usage URL).
std::string ServiceUsage(const FdsnService& service, const std::string& baseUrl);

// The text with '&', '<', '>', '"' and '\'' as XML/HTML character references.
std::string MarkupEscaped(const std::string& text);

}  // namespace trq
