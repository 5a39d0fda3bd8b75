#pragma once
// The HTTP side of `trq serve`, on cpp-httplib: the FDSN routes, a bounded pool of worker
// threads, time-outs on every connection, size limits on requests, the FDSN error bodies
// and one access line per request on standard error.
//
// The routes are those of the route table (FdsnRoutes.h):
//   GET       /, /station, /pictures/..., /trq.css      the pages (ArchivePages.h)
//   GET       /metrics                                  figures for monitoring
//   GET/POST  /fdsnws/<service>/1/<method>              each service's methods:
//                                                       dataselect's query (miniSEED),
//                                                       station's query (StationXML, text),
//                                                       availability's query and extent
//   GET       /fdsnws/<service>/1/, /version, /application.wadl

#include <cstddef>
#include <memory>
#include <string>

#include "catalog/CatalogStore.h"
#include "trq/fdsn/ArchivePages.h"
#include "trq/fdsn/CatalogPool.h"
#include "trq/fdsn/FdsnService.h"
#include "trq/fdsn/RequestMetrics.h"
#include "trq/fdsn/ServeSettings.h"
#include "trq/fdsn/ServerLog.h"

namespace httplib {
class Server;
struct Request;
struct Response;
}  // namespace httplib

namespace trq {

struct FdsnRoute;

// Limits of every connection: bytes of a POST body, seconds a read or a write may wait,
// seconds and requests a kept-alive connection may hold its worker.
inline constexpr std::size_t kMaxBodyBytes = 1 << 20;
inline constexpr int kReadTimeoutSeconds = 10;
inline constexpr int kWriteTimeoutSeconds = 30;
inline constexpr int kKeepAliveSeconds = 2;
inline constexpr int kKeepAliveRequests = 10;
// Accepted connections that may wait for a worker before accepting waits too.
inline constexpr std::size_t kMaxWaitingConnections = 64;

class FdsnServer {
  public:
    FdsnServer(ServeSettings settings, CatalogLogin login, std::size_t threads);
    ~FdsnServer();
    FdsnServer(const FdsnServer&) = delete;
    FdsnServer& operator=(const FdsnServer&) = delete;

    // Binds to `host` and `port` (0: a free port). Returns the port, or -1 when the address
    // cannot be bound.
    int Bind(const std::string& host, int port);
    // Serves until Stop(); false when serving could not start.
    bool Run();
    // Ends Run() once the requests under way are answered; callable from any thread.
    void Stop();

    ServerLog& Log() { return log_; }

  private:
    void AddRoutes();
    void Answer(const FdsnRoute& route, const httplib::Request& req, httplib::Response& res);
    void HandleQuery(const httplib::Request& req, httplib::Response& res,
                     const FdsnService& service, const FdsnMethod& method);
    void SendAnswer(FdsnAnswer answer, const FdsnService& service, const httplib::Request& req,
                    httplib::Response& res);
    void NoData(const httplib::Request& req, httplib::Response& res, int status);
    void SetError(const httplib::Request& req, httplib::Response& res, int status,
                  const std::string& detail);
    template <typename Work>
    void Respond(const httplib::Request& req, httplib::Response& res, Work&& work);
    void LogAccess(const httplib::Request& req, const httplib::Response& res);

    ServeSettings settings_;
    CatalogPool pool_;
    ServerLog log_;
    RequestMetrics requests_;
    ArchivePages pages_;
    std::size_t threads_;
    std::unique_ptr<httplib::Server> server_;
};

}  // namespace trq
