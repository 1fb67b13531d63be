// The check record's text: what the engine writes, kvwait reads back, and a
// torn or foreign line is skipped rather than misread.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "platform/outcome/CheckOutcome.h"
#include "tests/fixtures/TestRoot.h"

namespace {

using kv::platform::CheckOutcomeRecord;

TEST(CheckOutcome, RecordsReadBackAsWritten) {
    kvtest::TestRoot root;
    ASSERT_TRUE(kv::platform::AppendCheckOutcome({}));
    CheckOutcomeRecord end;
    end.end = true;
    end.job = 7;
    end.items = 12345678901ull;
    end.added = 1;
    end.changed = 2;
    end.removed = 3;
    end.result = 0x80004005u;
    end.stopped = true;
    ASSERT_TRUE(kv::platform::AppendCheckOutcome(end));
    auto records = kv::platform::ReadCheckOutcomes();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_FALSE(records[0].end);
    EXPECT_EQ(records[0].processId, static_cast<long>(::getpid()));
    EXPECT_TRUE(records[1].end);
    EXPECT_EQ(records[1].job, 7);
    EXPECT_EQ(records[1].items, 12345678901ull);
    EXPECT_EQ(records[1].added + records[1].changed + records[1].removed, 6u);
    EXPECT_EQ(records[1].result, 0x80004005u);
    EXPECT_TRUE(records[1].stopped);
    EXPECT_EQ(records[1].time.size(), 24u);  // 2026-12-09T01:50:00.123Z
}

TEST(CheckOutcome, TornAndForeignLinesAreSkipped) {
    kvtest::TestRoot root;
    ASSERT_TRUE(kv::platform::AppendCheckOutcome({}));
    {
        std::ofstream out(kv::platform::CheckOutcomeFile(), std::ios::app);
        out << "hello world\n"
            << "end 2026-12-09T01:50:00.123Z job=1\n"               // no process id
            << "end 2026-12-09T01:50:00.123Z pid=-4 job=1\n"        // a negative count
            << "end 2026-12-09T01:50:00.123Z pid=4 items=5x\n"      // not a number
            << "end 2026-12-09T01:50:00.123Z pid=4 job=1 items=5";  // still being written
    }
    auto records = kv::platform::ReadCheckOutcomes();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_FALSE(records[0].end);
}

TEST(CheckOutcome, NothingIsMadeUnderAMissingRoot) {
    kvtest::TestRoot parent;
    std::string missing = parent.Path() + "/nowhere";
    ::setenv("KESTRAVA_ROOT", missing.c_str(), 1);
    EXPECT_FALSE(kv::platform::AppendCheckOutcome({}));
    EXPECT_TRUE(kv::platform::ReadCheckOutcomes().empty());
    ::setenv("KESTRAVA_ROOT", parent.Path().c_str(), 1);
    EXPECT_FALSE(std::filesystem::exists(missing));
}

}  // namespace
