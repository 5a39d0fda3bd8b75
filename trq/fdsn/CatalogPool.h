#pragma once
// Catalog connections shared by the server's threads: a request borrows one, and gives it
// back when done, so that a busy server neither connects for every request nor holds more
// connections than it has threads. A connection that failed is dropped, never lent again.
// A request's work on the catalog ends within the login's time-out, whatever the server
// does: a connection that keeps it waiting longer is cut and dropped, and the next request
// connects anew.

#include <functional>
#include <memory>
#include <mutex>
#include <vector>

#include "catalog/CatalogStore.h"
#include "odbc/CallWatchdog.h"

namespace trq {

class CatalogPool {
  public:
    explicit CatalogPool(CatalogLogin login);

    // Runs `work` on a connection, read-only. When it fails with CatalogError on a
    // connection that had waited in the pool (the server may have ended it meanwhile), it
    // runs once more on a new connection, so `work` must start afresh each time; a second
    // failure is thrown, and so is a CatalogError saying so when the time-out passed.
    void Use(const std::function<void(CatalogStore&)>& work);

    const CatalogLogin& Login() const { return login_; }

  private:
    std::unique_ptr<CatalogStore> Take(bool& reused);
    void Give(std::unique_ptr<CatalogStore> catalog);
    void Watched(CatalogStore& catalog, CallWatchdog::Clock::time_point deadline,
                 const std::function<void(CatalogStore&)>& work);

    CatalogLogin login_;
    std::mutex mutex_;
    std::vector<std::unique_ptr<CatalogStore>> idle_;
    CallWatchdog watchdog_;
};

}  // namespace trq
