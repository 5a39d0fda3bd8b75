#include "trq/fdsn/FdsnServer.h"

#include <httplib.h>

#include <algorithm>
#include <chrono>

#include "trq/fdsn/FdsnDocuments.h"
#include "trq/fdsn/FdsnRoutes.h"
#include "trq/fdsn/ServedStreams.h"
#include "trq/fdsn/ServerTaskQueue.h"
#include "trq/mseed/MiniSeedPacker.h"

namespace trq {

namespace {

// What the access line needs to know of the request being handled on this thread: when
// its handling began, and how many bytes a streamed answer has sent (streamed answers have
// no body to measure). A worker handles one request at a time, start to end.
struct RequestTiming {
    std::chrono::steady_clock::time_point start{};
    int64_t streamedBytes = -1;
};
thread_local RequestTiming timing;

// The host the client asked for; the address it reached when it named none, and "" when
// not even that is known (a request line that could not be read).
std::string HostOf(const httplib::Request& req) {
    std::string host = req.get_header_value("Host");
    if (host.empty() && req.local_port > 0) {
        host = req.local_addr + ":" + std::to_string(req.local_port);
    }
    return host;
}

std::string BaseUrl(const httplib::Request& req, const FdsnService& service) {
    return "http://" + HostOf(req) + service.BasePath();
}

// The detail of an error the library answered itself, before any route ran.
std::string LibraryErrorDetail(int status, const httplib::Request& req) {
    switch (status) {
        case 404:
            return "Nothing is served at " + req.path + "; the services lie below /fdsnws/";
        case 413:
            return "The request body is longer than " + std::to_string(kMaxBodyBytes) + " bytes";
        case 414:
            return "The request line is longer than this server reads";
        case 400:
            // The library reads no target with a second '?', though URLs allow one.
            if (std::count(req.target.begin(), req.target.end(), '?') > 1) {
                return "The request line could not be read: send each '?' of a parameter "
                       "as %3F";
            }
            return "The request could not be read as HTTP";
        default:
            return "The request could not be handled";
    }
}

}  // namespace

FdsnServer::FdsnServer(ServeSettings settings, CatalogLogin login, std::size_t threads)
    : settings_(std::move(settings)),
      pool_(std::move(login)),
      pages_(settings_, pool_, log_, requests_),
      threads_(threads),
      server_(std::make_unique<httplib::Server>()) {
    // Before the workers start: libmseed sets itself up on its first record.
    Float32SamplesPerRecord(settings_.recordLength);
    server_->new_task_queue = [this] {
        return new ServerTaskQueue(threads_, kMaxWaitingConnections);
    };
    server_->set_read_timeout(kReadTimeoutSeconds, 0);
    server_->set_write_timeout(kWriteTimeoutSeconds, 0);
    server_->set_keep_alive_timeout(kKeepAliveSeconds);
    server_->set_keep_alive_max_count(kKeepAliveRequests);
    server_->set_payload_max_length(kMaxBodyBytes);
    // Open data: pages on other sites may use the services from a browser.
    server_->set_default_headers({{"Access-Control-Allow-Origin", "*"}});
    server_->set_pre_routing_handler([](const httplib::Request&, httplib::Response&) {
        timing = {std::chrono::steady_clock::now(), -1};
        return httplib::Server::HandlerResponse::Unhandled;
    });
    server_->set_error_handler([this](const httplib::Request& req, httplib::Response& res) {
        // The library calls this for every status from 400 up, also after a route has set
        // its own FDSN error body, which must survive.
        if (res.body.empty() && res.status >= 400) {
            SetError(req, res, res.status, LibraryErrorDetail(res.status, req));
        }
    });
    server_->set_logger(
        [this](const httplib::Request& req, const httplib::Response& res) { LogAccess(req, res); });
    AddRoutes();
}

FdsnServer::~FdsnServer() = default;

int FdsnServer::Bind(const std::string& host, int port) {
    if (port == 0) return server_->bind_to_any_port(host);
    return server_->bind_to_port(host, port) ? port : -1;
}

bool FdsnServer::Run() {
    return server_->listen_after_bind();
}

void FdsnServer::Stop() {
    server_->stop();
}

void FdsnServer::AddRoutes() {
    for (const FdsnRoute& route : FdsnRouteTable()) {
        auto handler = [this, &route](const httplib::Request& req, httplib::Response& res) {
            Answer(route, req, res);
        };
        server_->Get(route.path, handler);
        if (route.kind == RouteKind::kMethod) server_->Post(route.path, handler);
    }
}

void FdsnServer::Answer(const FdsnRoute& route, const httplib::Request& req,
                        httplib::Response& res) {
    switch (route.kind) {
        case RouteKind::kUsage:
            return res.set_content(ServiceUsage(*route.service, BaseUrl(req, *route.service)),
                                   route.mediaType);
        case RouteKind::kVersion:
            return res.set_content(route.service->Version(), route.mediaType);
        case RouteKind::kWadl:
            return res.set_content(ServiceWadl(*route.service, BaseUrl(req, *route.service)),
                                   route.mediaType);
        case RouteKind::kMethod:
            return HandleQuery(req, res, *route.service, *route.method);
        default:
            return Respond(req, res, [&] {
                const QueryParameters query(req.params.begin(), req.params.end());
                res.set_content(pages_.Answer(route.kind, query), route.mediaType);
            });
    }
}

template <typename Work>
void FdsnServer::Respond(const httplib::Request& req, httplib::Response& res, Work&& work) {
    try {
        work();
    } catch (const FdsnError& e) {
        SetError(req, res, e.Status(), e.what());
    } catch (const CatalogError& e) {
        log_.Note("catalog " + pool_.Login().dsn + ": " + e.what());
        SetError(req, res, 500, "The catalog could not be read: " + std::string(e.what()));
    } catch (const std::exception& e) {
        log_.Note(std::string("failed: ") + e.what());
        SetError(req, res, 500, std::string("The request failed: ") + e.what());
    }
}

void FdsnServer::HandleQuery(const httplib::Request& req, httplib::Response& res,
                             const FdsnService& service, const FdsnMethod& method) {
    Respond(req, res, [&] {
        const QueryParameters query(req.params.begin(), req.params.end());
        const FdsnCall call{method, req.method == "POST", query, req.body};
        SendAnswer(service.Answer(call, {settings_, pool_, log_}), service, req, res);
    });
}

void FdsnServer::SendAnswer(FdsnAnswer answer, const FdsnService& service,
                            const httplib::Request& req, httplib::Response& res) {
    if (answer.noDataStatus != 0) return NoData(req, res, answer.noDataStatus);
    for (const auto& [name, value] : answer.headers) res.set_header(name, value);
    if (!answer.next) {
        res.set_content(answer.body, answer.contentType);
        return;
    }
    // The first records are made before the status goes out: a file that cannot be read
    // still gets a 500 with its reason, not a cut 200.
    auto pending = std::make_shared<std::string>(answer.next());
    timing.streamedBytes = 0;
    res.status = 200;
    res.set_chunked_content_provider(
        answer.contentType, [this, next = std::move(answer.next), pending,
                             name = std::string(service.Name())](size_t, httplib::DataSink& sink) {
            std::string records;
            records.swap(*pending);
            try {
                if (records.empty()) records = next();
            } catch (const std::exception& e) {
                log_.Note(name + " answer cut short: " + e.what());
                return false;
            }
            if (records.empty()) {
                sink.done();
                return true;
            }
            timing.streamedBytes += static_cast<int64_t>(records.size());
            return sink.write(records.data(), records.size());
        });
}

void FdsnServer::NoData(const httplib::Request& req, httplib::Response& res, int status) {
    if (status == 204) {
        res.status = 204;
        return;
    }
    SetError(req, res, status, "No data matches the request");
}

void FdsnServer::SetError(const httplib::Request& req, httplib::Response& res, int status,
                          const std::string& detail) {
    res.status = status;
    res.set_content(FdsnErrorBody(status, detail, ServiceOfPath(req.path), HostOf(req),
                                  req.target.empty() ? req.path : req.target, NowMicroseconds()),
                    "text/plain");
}

void FdsnServer::LogAccess(const httplib::Request& req, const httplib::Response& res) {
    double milliseconds = 0;
    if (timing.start != std::chrono::steady_clock::time_point{}) {
        milliseconds = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() -
                                                                 timing.start)
                           .count();
    }
    const int64_t bytes =
        timing.streamedBytes >= 0 ? timing.streamedBytes : static_cast<int64_t>(res.body.size());
    // A request line the library could not read leaves the fields empty.
    auto shown = [](const std::string& text) { return text.empty() ? std::string("-") : text; };
    log_.Access(shown(req.remote_addr), shown(req.method),
                shown(req.target.empty() ? req.path : req.target), shown(req.version), res.status,
                bytes, milliseconds);
    requests_.Record(RouteLabelOfPath(req.path), res.status, milliseconds / 1000);
    timing = {};
}

}  // namespace trq
