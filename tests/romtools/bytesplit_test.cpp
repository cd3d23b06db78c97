// bytesplit's complemented split and usage text, run in-process.
#include "romtools/bytesplit/bytesplit.h"

#include "capture.h"

#include <gtest/gtest.h>

#include <string>

using namespace romtools;

TEST(BytesplitSplit, EachByteComplementedIntoItsHalf) {
    const unsigned char words[] = {0x12, 0x34, 0xFF, 0x00, 0x00, 0xFF, 0x5A, 0xA5};
    unsigned char high[4] = {}, low[4] = {};
    split_complemented(words, 4, high, low);
    const unsigned char want_high[] = {0xED, 0x00, 0xFF, 0xA5};
    const unsigned char want_low[] = {0xCB, 0xFF, 0x00, 0x5A};
    EXPECT_EQ(std::string(high, high + 4), std::string(want_high, want_high + 4));
    EXPECT_EQ(std::string(low, low + 4), std::string(want_low, want_low + 4));

    // 37 words: two 16-word steps and a tail of 5, each byte different.
    unsigned char many[74], many_high[37], many_low[37];
    for (int i = 0; i < 74; ++i)
        many[i] = static_cast<unsigned char>(i * 7 + 3);
    split_complemented(many, 37, many_high, many_low);
    for (int j = 0; j < 37; ++j) {
        EXPECT_EQ(many_high[j], static_cast<unsigned char>(~many[2 * j])) << j;
        EXPECT_EQ(many_low[j], static_cast<unsigned char>(~many[2 * j + 1])) << j;
    }
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
