#include "store/WriterStart.h"

WriterStarted StartRecordWriter(const StoreUrl& url, const std::string& reportPath,
                                std::function<void(const std::string&)> say) {
    RecordWriter::Config config;
    config.shown = url.shown;
    config.open = [url, say] { return RecordStore::Open(url, say); };
    Result<std::unique_ptr<RecordStore>> store = RecordStore::Open(url, say);
    if (store) {
        config.store = std::move(*store);
    } else if (store.Failure().result.status != SysStatus::Lost) {
        return {nullptr, false, store.Failure()};
    }
    Result<std::unique_ptr<ResultSpool>> spool =
        ResultSpool::Open(DatabaseSpoolPathFor(reportPath));
    if (!spool) {
        return {nullptr, true, spool.Failure()};
    }
    config.spool = std::move(*spool);
    config.say = std::move(say);
    // A database that cannot be reached now is said by the writer's thread as it tries again.
    return {std::make_unique<RecordWriter>(std::move(config)), false, {}};
}
