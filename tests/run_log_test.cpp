// The run log on its own: whole reports, and failed appends that say so. The
// short write on a full disk is in the hostile-input table (a file-size limit
// stops the write halfway; the log must come out as it was).
#include "driver/run_log.h"

#include <gtest/gtest.h>

#include "support/test_support.h"

namespace zub {
namespace {

TEST(RunLog, AppendsWholeReportsBehindEarlierContent) {
  test::TempDir dir;
  dir.write("log", "earlier\n");
  {
    RunLog log(dir.file("log").c_str());
    ASSERT_TRUE(log.isOpen());
    EXPECT_TRUE(log.append("\n---\nfirst\n"));
    EXPECT_TRUE(log.append("\n---\nsecond\n"));
  }
  EXPECT_EQ(dir.read("log"), "earlier\n\n---\nfirst\n\n---\nsecond\n");
}

TEST(RunLog, FullDeviceIsAFailedAppend) {
  RunLog log("/dev/full");
  ASSERT_TRUE(log.isOpen());
  EXPECT_FALSE(log.append("\n---\nreport\n"));
}

TEST(RunLog, LogThatCannotBeOpenedTakesNoReport) {
  RunLog log("/nonexistent/zub/testfile.txt");
  EXPECT_FALSE(log.isOpen());
  EXPECT_FALSE(log.append("report"));
}

}  // namespace
}  // namespace zub
