#include "core/coredebug.h"
#include "core/coremem.h"
#include "log_capture.h"

#include <gtest/gtest.h>

#include <array>
#include <cstring>

TEST(CoreMem, CopiesExactlyTheRequestedBytes) {
    for (size_t n : {0u, 3u, 4u, 7u}) {
        std::array<unsigned char, 16> src{}, dst{};
        for (size_t i = 0; i < src.size(); ++i) src[i] = (unsigned char)(i + 1);
        wrap_memcpy(dst.data(), src.data(), n);
        for (size_t i = 0; i < dst.size(); ++i)
            EXPECT_EQ(dst[i], i < n ? src[i] : 0) << n << " @" << i;
    }
}

TEST(CoreMem, FillsAndClearsExactlyTheRequestedBytes) {
    std::array<unsigned char, 16> buf;
    buf.fill(0x11);
    wrap_memset(buf.data() + 1, 0xab, 7);
    EXPECT_EQ(buf[0], 0x11);
    for (int i = 1; i < 8; ++i) EXPECT_EQ(buf[i], 0xab);
    EXPECT_EQ(buf[8], 0x11);
    wrap_memclr(buf.data() + 2, 5);
    EXPECT_EQ(buf[1], 0xab);
    for (int i = 2; i < 7; ++i) EXPECT_EQ(buf[i], 0);
    EXPECT_EQ(buf[7], 0xab);
}

TEST(CoreMem, CountedAllocationBalancesAndRaisesPeak) {
    const uint32_t before = g_mem_in_use;
    void *p = _wrap_malloc_dbg(1000, "test", 1);
    ASSERT_NE(p, nullptr);
    EXPECT_GE(g_mem_in_use - before, 1000u);
    EXPECT_GE(g_mem_in_use_peak, g_mem_in_use);
    _wrap_free_dbg(p, "test", 2);
    EXPECT_EQ(g_mem_in_use, before);
    EXPECT_GE(g_mem_in_use_peak, before + 1000u);
}

TEST(CoreMem, FreeingNullIsReportedAndIgnored) {
    const uint32_t before = g_mem_in_use;
    LogCapture log;
    _wrap_free_dbg(nullptr, "corefile/corefile-std", 42);
    EXPECT_EQ(log.Ids(), std::vector<std::string>{"corefile.free_null"});
    EXPECT_EQ(g_mem_in_use, before);
}

TEST(CoreDebugDeathTest, AssertPrintsAndExitsWithOne) {
    EXPECT_EXIT(_dbg_assert("file.cpp", 7, "x > 0"), testing::ExitedWithCode(1), "");
}
