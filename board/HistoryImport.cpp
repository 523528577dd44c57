#include "board/HistoryImport.h"

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <vector>

namespace {

constexpr int kOlderSegments = 4;
constexpr std::size_t kBatch = 5000;

std::string Segment(const std::string& path, int n) {
    return n == 0 ? path : path + "." + std::to_string(n);
}

}  // namespace

Result<std::optional<HistoryImported>> ImportHistory(const std::string& path, RecordStore& store) {
    std::vector<std::string> files;
    for (int n = kOlderSegments; n >= 0; --n) {
        std::error_code error;
        if (std::filesystem::is_regular_file(Segment(path, n), error)) {
            files.push_back(Segment(path, n));
        }
    }
    if (files.empty()) {
        return std::optional<HistoryImported>();
    }
    HistoryImported imported;
    std::vector<StoredRecord> batch;
    const auto flush = [&]() -> Result<void> {
        Result<int> put = store.Put(batch);
        batch.clear();
        return put ? Result<void>() : Result<void>(put.Failure());
    };
    for (const std::string& file : files) {
        std::ifstream in(file, std::ios::binary);
        if (!in) {
            return ErrnoFailure("open", file, errno);
        }
        for (std::string line; std::getline(in, line);) {
            if (std::optional<StoredRecord> record = StoredRecordOf(line)) {
                batch.push_back(std::move(*record));
                ++imported.results;
            }
            if (batch.size() >= kBatch) {
                if (Result<void> put = flush(); !put) {
                    return put.Failure();
                }
            }
        }
    }
    if (Result<void> put = flush(); !put) {
        return put.Failure();
    }
    for (const std::string& file : files) {
        const std::string renamed = file + ".imported";
        if (std::rename(file.c_str(), renamed.c_str()) != 0) {
            return ErrnoFailure("rename", file, errno);
        }
        ++imported.files;
    }
    return std::optional<HistoryImported>(imported);
}
