// blocksum's argument scan, block size reading and usage text, run in-process.
#include "romtools/blocksum/blocksum.h"

#include "capture.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace romtools;

namespace {

// Runs the scan on a command line given without the program name.
struct Scan {
    ArgScan result;
    BlocksumSettings settings;
};

Scan scan(std::vector<std::string> args) {
    args.insert(args.begin(), "blocksum");
    std::vector<char*> argv;
    for (auto& a : args)
        argv.push_back(a.data());
    Scan s;
    s.result = scan_blocksum_args(static_cast<int>(argv.size()), argv.data(), s.settings);
    // The pointers die with `args`; keep what the checks need.
    static std::string image, size;
    image = s.settings.image ? s.settings.image : "(none)";
    size = s.settings.block_size_text ? s.settings.block_size_text : "(none)";
    s.settings.image = image.c_str();
    s.settings.block_size_text = size.c_str();
    return s;
}

} // namespace

TEST(BlocksumArgs, PlainMayPrecedeBlocksizeButNotFollowIt) {
    Scan s = scan({"-plain", "-blocksize", "2048", "rom.bin"});
    EXPECT_EQ(s.result, ArgScan::run);
    EXPECT_EQ(s.settings.mode, RomSumMode::plain);
    EXPECT_STREQ(s.settings.block_size_text, "2048");
    EXPECT_STREQ(s.settings.image, "rom.bin");

    EXPECT_EQ(scan({"-blocksize", "2048", "-plain", "rom.bin"}).result, ArgScan::usage);
    EXPECT_EQ(scan({"-plain", "-plain", "rom.bin"}).result, ArgScan::usage);
    EXPECT_EQ(scan({"-v", "rom.bin"}).result, ArgScan::usage);
    EXPECT_EQ(scan({"rom.bin", "-"}).result, ArgScan::usage);
}

TEST(BlocksumArgs, OptionsAfterTheImageName) {
    Scan s = scan({"rom.bin", "-plain"});
    EXPECT_EQ(s.result, ArgScan::run);
    EXPECT_EQ(s.settings.mode, RomSumMode::plain);
    EXPECT_STREQ(s.settings.image, "rom.bin");

    s = scan({"rom.bin", "-blocksize", "1024"});
    EXPECT_EQ(s.result, ArgScan::run);
    EXPECT_EQ(s.settings.mode, RomSumMode::normal);
    EXPECT_STREQ(s.settings.block_size_text, "1024");

    s = scan({"first.bin", "second.bin"});
    EXPECT_STREQ(s.settings.image, "first.bin");

    // The value of -blocksize is taken whatever it looks like.
    s = scan({"-blocksize", "-plain", "rom.bin"});
    EXPECT_EQ(s.result, ArgScan::run);
    EXPECT_EQ(s.settings.mode, RomSumMode::normal);
    EXPECT_STREQ(s.settings.block_size_text, "-plain");
}

TEST(BlocksumArgs, MissingValueOrImage) {
    EXPECT_EQ(scan({"rom.bin", "-blocksize"}).result, ArgScan::usage);
    Scan s = scan({"-plain"});
    EXPECT_EQ(s.result, ArgScan::run);
    EXPECT_STREQ(s.settings.image, "(none)");
}

TEST(BlocksumArgs, BlockSizeReadWithAutomaticBase) {
    struct Case {
        const char* text;
        bool ok;
        size_t words;
    };
    const Case cases[] = {
        {"0x800", true, 2048},
        {"0X10", true, 16},
        {"010", true, 8},
        {"4096", true, 4096},
        {"1", true, 1},
        {"12abc", true, 12},
        {"0", false, 0},
        {"4097", false, 0},
        {"abc", false, 0},
        {"", false, 0},
        {"-1", false, 0},
        {"0x1001", false, 0},
        {"99999999999999999999", false, 0},
        // 32 bits wherever long is wider: minus 2^32 - 1 is 1, and 2^32 + 1 is
        // beyond 32 bits, on Linux as on Windows.
        {"-4294967295", true, 1},
        {"-0xFFFFF000", true, 4096},
        {"4294967297", false, 0},
    };
    for (const Case& c : cases) {
        size_t words = 0;
        EXPECT_EQ(parse_block_size(c.text, words), c.ok) << '"' << c.text << '"';
        if (c.ok) {
            EXPECT_EQ(words, c.words) << '"' << c.text << '"';
        }
    }
}

TEST(BlocksumRun, UsageTextAndRefusedBlockSize) {
    char prog[] = "blocksum", plain[] = "-plain", bs[] = "-blocksize", zero[] = "0",
         name[] = "no-such-image.bin";
    const std::string usage = "Usage: blocksum [-plain] [-blocksize <blocksize>] <ROM image>\n"
                              "       <ROM image>  HP combined ROM image file (16K)\n";
    {
        CapturedStream out, err;
        char* argv[] = {prog};
        EXPECT_EQ(run_blocksum(1, argv, out.get(), err.get()), 0);
        EXPECT_EQ(out.text(), usage);
        EXPECT_EQ(err.text(), "");
    }
    {
        CapturedStream out, err;
        char* argv[] = {prog, plain};
        EXPECT_EQ(run_blocksum(2, argv, out.get(), err.get()), 0);
        EXPECT_EQ(out.text(), usage);
    }
    {
        // Refused before the image is opened.
        CapturedStream out, err;
        char* argv[] = {prog, bs, zero, name};
        EXPECT_EQ(run_blocksum(4, argv, out.get(), err.get()), -1);
        EXPECT_EQ(out.text(), "");
        EXPECT_EQ(err.text(), "Invalid block size \"0\" (1 to 4096 words).\n");
    }
}
