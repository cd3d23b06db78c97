// bytesplit's complemented split and usage text, run in-process.
#include "bytesplit.h"

#include "capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

TEST(BytesplitSplit, EachByteComplementedIntoItsHalf) {
    const unsigned char words[] = {0x12, 0x34, 0xFF, 0x00, 0x00, 0xFF, 0x5A, 0xA5};
    unsigned char high[4] = {}, low[4] = {};
    split_complemented(words, 4, high, low);
    const unsigned char want_high[] = {0xED, 0x00, 0xFF, 0xA5};
    const unsigned char want_low[] = {0xCB, 0xFF, 0x00, 0x5A};
    EXPECT_EQ(std::string(high, high + 4), std::string(want_high, want_high + 4));
    EXPECT_EQ(std::string(low, low + 4), std::string(want_low, want_low + 4));
}

TEST(BytesplitRun, UsageTextForNoNameOrAnyOption) {
    char prog[] = "bytesplit", name[] = "no-such-rom.bin", opt[] = "-x";
    const std::string usage = "Usage: bytesplit <ROM file>\n"
                              "       <ROM file>  HP ROM data file to be split\n";
    {
        CapturedStream out, err;
        char* argv[] = {prog};
        EXPECT_EQ(run_bytesplit(1, argv, out.get(), err.get()), 0);
        EXPECT_EQ(out.text(), usage);
        EXPECT_EQ(err.text(), "");
    }
    {
        CapturedStream out, err;
        char* argv[] = {prog, name, opt};
        EXPECT_EQ(run_bytesplit(3, argv, out.get(), err.get()), 0);
        EXPECT_EQ(out.text(), usage);
        EXPECT_EQ(err.text(), "");
    }
}

// Both files complete, but the report lines lost: not a success either.
TEST(BytesplitRun, LostReportIsAWriteError) {
    FILE* full = std::fopen("/dev/full", "w");
    if (!full)
        GTEST_SKIP() << "no /dev/full";
    const std::string rom = ::testing::TempDir() + "bytesplit_lost_report.bin";
    FILE* f = std::fopen(rom.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    const std::string ones(8192, '\xFF');
    ASSERT_EQ(std::fwrite(ones.data(), 1, ones.size(), f), ones.size());
    ASSERT_EQ(std::fclose(f), 0);
    CapturedStream err;
    char prog[] = "bytesplit";
    std::vector<char> name(rom.begin(), rom.end());
    name.push_back('\0');
    char* argv[] = {prog, name.data()};
    EXPECT_EQ(run_bytesplit(2, argv, full, err.get()), -1);
    EXPECT_EQ(err.text(), "Write error on file \"<stdout>\" #28\n");
    std::fclose(full);
    for (const char* suffix : {"", "_high", "_low"})
        std::remove((rom + suffix).c_str());
}
