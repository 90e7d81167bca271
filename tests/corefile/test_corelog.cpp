#include "log_capture.h"

#include <gtest/gtest.h>

#include <thread>

TEST(CoreLog, SinkGetsLevelIdAndFormattedText) {
    LogCapture log;
    core_log(LOG_WARNING, "test.warn", "value %d of %s\n", 7, "x");
    _dbg_printf("trace %d", 1);
    ASSERT_EQ(log.messages().size(), 2u);
    EXPECT_EQ(log.messages()[0].level, LOG_WARNING);
    EXPECT_EQ(log.messages()[0].id, "test.warn");
    EXPECT_EQ(log.messages()[0].text, "value 7 of x\n");
    EXPECT_EQ(log.messages()[1].id, "trace");
    EXPECT_EQ(log.messages()[1].text, "trace 1");
}

TEST(CoreLog, ThresholdDropsLessImportantLevels) {
    LogCapture log(LOG_WARNING);
    core_log(LOG_ERROR, "e", "e");
    core_log(LOG_WARNING, "w", "w");
    core_log(LOG_PROGRESS, "p", "p");
    core_log(LOG_DEBUG, "d", "d");
    EXPECT_EQ(log.Ids(), (std::vector<std::string>{"e", "w"}));
}

TEST(CoreLog, QuietAndVerboseOptionsSetTheThreshold) {
    LogCapture log;
    EXPECT_TRUE(core_logoption("--quiet"));
    EXPECT_EQ(core_getloglevel(), LOG_WARNING);
    EXPECT_TRUE(core_logoption("--verbose"));
    EXPECT_EQ(core_getloglevel(), LOG_DEBUG);
    EXPECT_FALSE(core_logoption("--quietly"));
    EXPECT_EQ(core_getloglevel(), LOG_DEBUG);
}

TEST(CoreLog, OverlongMessagesAreCutNotLost) {
    LogCapture log;
    std::string big(10000, 'a');
    core_log(LOG_ERROR, "big", "%s", big.c_str());
    ASSERT_EQ(log.messages().size(), 1u);
    EXPECT_GT(log.messages()[0].text.size(), 1000u);
    EXPECT_LT(log.messages()[0].text.size(), big.size());
}

TEST(CoreLog, ConcurrentLoggersDeliverEveryMessage) {
    LogCapture log;
    std::thread a([] {
        for (int i = 0; i < 500; ++i) core_log(LOG_PROGRESS, "a", "a%d", i);
    });
    std::thread b([] {
        for (int i = 0; i < 500; ++i) core_log(LOG_PROGRESS, "b", "b%d", i);
    });
    a.join();
    b.join();
    EXPECT_EQ(log.Count("a"), 500);
    EXPECT_EQ(log.Count("b"), 500);
}

TEST(CoreLog, ConsoleCanSendErrorsToStandardErrorAndShowIds) {
    core_logconsole(LOG_CONSOLE_STDERR | LOG_CONSOLE_IDS);
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    core_log(LOG_ERROR, "t.error", "bad\n");
    core_log(LOG_WARNING, "t.warning", "odd\n");
    core_log(LOG_PROGRESS, "t.progress", "done\n");
    fflush(stdout);
    const std::string err = testing::internal::GetCapturedStderr();
    const std::string out = testing::internal::GetCapturedStdout();
    core_logconsole(0);
    EXPECT_EQ(err, "[t.error] bad\n[t.warning] odd\n");
    EXPECT_EQ(out, "[t.progress] done\n");
}
