#include "store/EarlierPasses.h"

#include "record/BoxRecordCodec.h"
#include "store/RecordStore.h"

EarlierPasses::EarlierPasses(StoreUrl url, std::string job)
    : m_url(std::move(url)), m_job(std::move(job)) {}

EarlierPasses::~EarlierPasses() = default;

std::optional<PassedBoxes::Earlier> EarlierPasses::Find(const std::string& boxId, const Say& say) {
    const auto trouble = [this, &say](const SysFailure& failure) {
        m_store.reset();
        if (!m_told && say) {
            say("the database cannot be asked for earlier passes: " + failure.Describe() +
                "; the report is");
        }
        m_told = true;
    };
    if (!m_store) {
        Result<std::unique_ptr<RecordStore>> opened = RecordStore::Open(m_url);
        if (!opened) {
            trouble(opened.Failure());
            return std::nullopt;
        }
        m_store = std::move(*opened);
    }
    std::optional<PassedBoxes::Earlier> first;
    const Result<void> found = m_store->FindBox(boxId, [&](const RecordStore::Placed& placed) {
        const std::optional<BoxRecord> record = ParseBoxRecord(placed.json);
        if (record && record->Passed() && record->made.job == m_job) {
            first = PassedBoxes::Earlier{record->id, record->start, record->slot};
            return false;  // oldest first: this is the first pass
        }
        return true;
    });
    if (!found) {
        trouble(found.Failure());
        return std::nullopt;
    }
    m_told = false;
    return first;
}

std::function<std::optional<PassedBoxes::Earlier>(const std::string&, const EarlierPasses::Say&)>
EarlierPassesIn(const std::string& db, const std::string& job) {
    const Result<StoreUrl> url = ParseStoreUrl(db);
    if (!url) {
        return {};
    }
    auto passes = std::make_shared<EarlierPasses>(*url, job);
    return [passes](const std::string& boxId, const EarlierPasses::Say& say) {
        return passes->Find(boxId, say);
    };
}
