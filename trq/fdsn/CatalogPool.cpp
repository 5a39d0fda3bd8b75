#include "trq/fdsn/CatalogPool.h"

#include <string>

namespace trq {

CatalogPool::CatalogPool(CatalogLogin login) : login_(std::move(login)) {}

std::unique_ptr<CatalogStore> CatalogPool::Take(bool& reused) {
    {
        std::lock_guard lock(mutex_);
        if (!idle_.empty()) {
            std::unique_ptr<CatalogStore> catalog = std::move(idle_.back());
            idle_.pop_back();
            reused = true;
            return catalog;
        }
    }
    reused = false;
    return std::make_unique<CatalogStore>(login_, CatalogStore::Use::kReadOnly);
}

void CatalogPool::Give(std::unique_ptr<CatalogStore> catalog) {
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(catalog));
}

void CatalogPool::Watched(CatalogStore& catalog, CallWatchdog::Clock::time_point deadline,
                          const std::function<void(CatalogStore&)>& work) {
    const CallWatchdog::Watch watch(watchdog_, catalog.Database(), deadline);
    try {
        work(catalog);
    } catch (const CatalogError&) {
        if (!watch.Expired()) throw;
        throw CatalogError("the catalog did not answer within " +
                           std::to_string(login_.timeoutSeconds) + " s");
    }
}

void CatalogPool::Use(const std::function<void(CatalogStore&)>& work) {
    const auto deadline = CallWatchdog::Clock::now() + std::chrono::seconds(login_.timeoutSeconds);
    bool reused = false;
    std::unique_ptr<CatalogStore> catalog = Take(reused);
    try {
        Watched(*catalog, deadline, work);
    } catch (const CatalogError&) {
        catalog.reset();  // whatever failed may have been the connection: dropped
        if (!reused || CallWatchdog::Clock::now() >= deadline) throw;
        catalog = std::make_unique<CatalogStore>(login_, CatalogStore::Use::kReadOnly);
        Watched(*catalog, deadline, work);
    } catch (...) {
        Give(std::move(catalog));  // the request was at fault, not the connection
        throw;
    }
    Give(std::move(catalog));
}

}  // namespace trq
