#pragma once

// A station's database writer as every host starts it: the database checked once before any
// box (a file that is not a database, or one of a newer schema, stops the run before it
// begins; one that cannot be reached now is said and tried again, the records waiting in the
// spool), and the spool beside the report.

#include <functional>
#include <memory>
#include <string>

#include "store/RecordWriter.h"
#include "store/StoreUrl.h"

struct WriterStarted {
    std::unique_ptr<RecordWriter> writer;  // null when the run cannot start:
    bool spoolFailed = false;              // the spool, else the database
    SysFailure failure;
};

WriterStarted StartRecordWriter(const StoreUrl& url, const std::string& reportPath,
                                std::function<void(const std::string&)> say);
