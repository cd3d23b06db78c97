// blocksum run as a program: report lines, argument scan, end and failure statuses.
#include "rom_e2e_fixture.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace {

using e2e::Bytes;
using e2e::bytes_of;
using e2e::Expected;
using e2e::kStatusMinusOne;
using e2e::repeat;

const Bytes kWorked = bytes_of({0x12, 0x34, 0xAB, 0xCD, 0x80, 0x00, 0xC1, 0xFD});

const Bytes kZeroBlockNormal = "verify=0 checksum=0\t(ROM currupt)\n";
const Bytes kZeroBlockPlain = "verify=0 checksum=0\t(no ROM present)\n";
const Bytes kOnesBlockNormal = "verify=-1 checksum=-1\t(ROM OK)\n";

class Blocksum : public RomProgramTest {
  protected:
    Bytes usage() const {
        return RomProgramTest::usage("blocksum",
                                     " [-plain] [-blocksize <blocksize>] <ROM image>\n"
                                     "       <ROM image>  HP combined ROM image file (16K)\n");
    }
};

} // namespace

TEST_F(Blocksum, WorkedExampleInBothModes) {
    write_file("w.bin", kWorked);
    EXPECT_RUN("blocksum", {"-blocksize", "4", "w.bin"},
               Expected{0, "block 0: verify=-1 checksum=12618\t(ROM OK)\n", "", {}});
    EXPECT_RUN("blocksum", {"-plain", "-blocksize", "4", "w.bin"},
               Expected{0, "block 0: verify=-2 checksum=12618\t(ROM currupt)\n", "", {}});
}

TEST_F(Blocksum, WholeBlocksReportedAndRunEndsWithZero) {
    write_file("empty.bin", "");
    EXPECT_RUN("blocksum", {"empty.bin"}, Expected{0, "", "", {}});

    const Bytes image = repeat(0x00, 8192) + repeat(0xFF, 8192);
    write_file("rom.bin", image);
    write_file("tail.bin", image + repeat(0x5A, 100));
    const Bytes normal = "block 0: " + kZeroBlockNormal + "block 1: " + kOnesBlockNormal;
    EXPECT_RUN("blocksum", {"rom.bin"}, Expected{0, normal, "", {}});
    const Bytes unchecked =
        "Warning: the last 100 bytes of the image (less than one block) were not checked.\n";
    EXPECT_RUN("blocksum", {"tail.bin"}, Expected{0, normal + unchecked, "", {}});
    EXPECT_RUN("blocksum", {"-plain", "tail.bin"},
               Expected{0,
                        "block 0: " + kZeroBlockPlain +
                            "block 1: verify=-4096 checksum=-1\t(ROM currupt)\n" + unchecked,
                        "",
                        {}});
}

TEST_F(Blocksum, BlockSizesInAnyBase) {
    write_file("rom.bin", repeat(0x00, 4096) + repeat(0xFF, 4096));
    const Bytes two_blocks = "block 0: " + kZeroBlockNormal + "block 1: " + kOnesBlockNormal;
    EXPECT_RUN("blocksum", {"-blocksize", "0x800", "rom.bin"}, Expected{0, two_blocks, "", {}});
    write_file("small.bin", repeat(0x00, 16) + repeat(0xFF, 16));
    EXPECT_RUN("blocksum", {"-blocksize", "010", "small.bin"}, Expected{0, two_blocks, "", {}});
    write_file("half.bin", repeat(0x00, 2048) + repeat(0xFF, 2048));
    EXPECT_RUN("blocksum", {"half.bin", "-blocksize", "1024"}, Expected{0, two_blocks, "", {}});
}

TEST_F(Blocksum, OptionOrderOfTheScan) {
    write_file("rom.bin", repeat(0x00, 4096) + repeat(0xFF, 4096));
    EXPECT_RUN("blocksum", {"-plain", "-blocksize", "2048", "rom.bin"},
               Expected{0,
                        "block 0: " + kZeroBlockPlain +
                            "block 1: verify=-2048 checksum=-1\t(ROM currupt)\n",
                        "",
                        {}});
    write_file("w.bin", kWorked);
    EXPECT_RUN("blocksum", {"w.bin", "-plain", "-blocksize", "4"},
               Expected{0, "block 0: verify=-2 checksum=12618\t(ROM currupt)\n", "", {}});
    const Bytes u = usage();
    EXPECT_RUN("blocksum", {"-blocksize", "2048", "-plain", "rom.bin"}, Expected{0, u, "", {}});
    EXPECT_RUN("blocksum", {"-plain", "-plain", "rom.bin"}, Expected{0, u, "", {}});
    EXPECT_RUN("blocksum", {"rom.bin", "-blocksize"}, Expected{0, u, "", {}});
    EXPECT_RUN("blocksum", {"-plain"}, Expected{0, u, "", {}});
    EXPECT_RUN("blocksum", {"-h", "rom.bin"}, Expected{0, u, "", {}});
}

TEST_F(Blocksum, OnlyTheFirstImageIsRead) {
    write_file("w.bin", kWorked);
    EXPECT_RUN("blocksum", {"-blocksize", "4", "w.bin", "missing.bin"},
               Expected{0,
                        "Warning: only the first image is checked; \"missing.bin\" is not read.\n"
                        "block 0: verify=-1 checksum=12618\t(ROM OK)\n",
                        "",
                        {}});
    EXPECT_RUN("blocksum", {"-blocksize", "4", "missing.bin", "w.bin"},
               Expected{kStatusMinusOne,
                        "Warning: only the first image is checked; \"w.bin\" is not read.\n",
                        "Could not open file \"missing.bin\".\n",
                        {}});
}

TEST_F(Blocksum, BlockSizeOutsideTheBufferRefusedBeforeOpening) {
    for (const char* size : {"0", "4097", "abc", "0x1001", "-1"}) {
        EXPECT_RUN("blocksum", {"-blocksize", size, "missing.bin"},
                   Expected{kStatusMinusOne,
                            "",
                            "Invalid block size \"" + Bytes(size) + "\" (1 to 4096 words).\n",
                            {}});
    }
    write_file("rom.bin", repeat(0xFF, 8192));
    EXPECT_RUN("blocksum", {"-blocksize", "4096", "rom.bin"},
               Expected{0, "block 0: " + kOnesBlockNormal, "", {}});
}

TEST_F(Blocksum, DirectoryAsInputCannotBeOpened) {
    std::filesystem::create_directory(path("dir"));
    EXPECT_RUN("blocksum", {"dir"},
               Expected{kStatusMinusOne, "", "Could not open file \"dir\".\n", {}});
}

// A sparse image of zeros past 2 GiB: block numbers beyond 262143 and reads
// past 2^31 bytes. Takes about ten seconds in an optimised build.
TEST_F(Blocksum, ImagePastTwoGibibytes) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "too slow under the sanitizers";
#endif
    constexpr off_t kSize = (off_t{1} << 31) + 2 * 8192 + 10;
    const int fd = open(path("big.bin").c_str(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    const bool sized = ftruncate(fd, kSize) == 0;
    close(fd);
    ASSERT_TRUE(sized);
    Bytes expected;
    char line[80];
    for (long block = 0; block < 262146; ++block) {
        std::snprintf(line, sizeof line, "block %ld: ", block);
        expected += line + kZeroBlockNormal;
    }
    expected += "Warning: the last 10 bytes of the image (less than one block) were not checked.\n";
    EXPECT_RUN("blocksum", {"big.bin"}, Expected{0, expected, "", {}});
    std::filesystem::remove(path("big.bin"));
}
