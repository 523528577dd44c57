// What leaves the database for a spreadsheet: every key a column, nested ones with dotted
// names, each field quoted where CSV needs it; and the times --from and --to take.

#include "store/RecordExport.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "store/QueryTime.h"

namespace {

TEST(RecordExportTest, NestedKeysBecomeDottedColumnsAndFieldsAreQuotedWhereCsvNeedsIt) {
    const std::string first =
        R"({"id":"r1","unit":{"serial":"SN1","mac":"00:11"},"seconds":1.5,"ok":true,"box_id":null})";
    // A later record with a key the first lacks, a nested object deeper, and texts that need
    // quoting: a comma, a quote, a line break, spaces at the ends.
    const std::string second =
        R"({"id":"r2","unit":{"serial":"a,b","extra":{"n":1}},"figures":[1,2],)"
        R"("reason":"said \"no\"\nthen left","seconds":2,"box_id":" x "})";
    CsvColumns columns;
    columns.Learn(first);
    columns.Learn(second);
    columns.Learn("not a record");
    EXPECT_EQ(columns.Header(),
              "id,unit.serial,unit.mac,seconds,ok,box_id,unit.extra.n,figures,reason\r\n");
    EXPECT_EQ(columns.Row(first), "r1,SN1,00:11,1.5,true,,,,\r\n");
    EXPECT_EQ(columns.Row(second),
              "r2,\"a,b\",,2,,\" x \",1,\"[1,2]\",\"said \"\"no\"\"\nthen left\"\r\n");
}

TEST(RecordExportTest, TimesAreIso8601InUtcWithAZoneOrLocalWithout) {
    EXPECT_EQ(ParseQueryTime("2026-12-07T08:00:00Z"), 1796630400000);
    EXPECT_EQ(ParseQueryTime("2026-12-07T08:00:00.250Z"), 1796630400250);
    EXPECT_EQ(ParseQueryTime("2026-12-07T09:30:00+01:30"), 1796630400000);
    setenv("TZ", "Europe/Berlin", 1);
    tzset();
    EXPECT_EQ(ParseQueryTime("2026-12-07T09:00:00"), 1796630400000) << "CET in December";
    EXPECT_EQ(ParseQueryTime("2026-12-07T09:00"), 1796630400000);
    EXPECT_EQ(ParseQueryTime("2026-07-07"), ParseQueryTime("2026-07-06T22:00:00Z")) << "CEST";
    unsetenv("TZ");
    tzset();
    for (const char* wrong : {"", "yesterday", "2026-13-01", "2026-12-07T25:00", "2026-12-07X",
                              "2026-12-07T08:00:00+1", "2026-12-07T08:00:00.Z", "2026-1-7"}) {
        EXPECT_FALSE(ParseQueryTime(wrong)) << wrong;
    }
}

}  // namespace
