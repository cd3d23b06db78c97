// bytesplit run as a program: report lines, the two complemented files, end and failure statuses.
#include "rom_e2e_fixture.h"

#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <utility>

namespace {

using e2e::Bytes;
using e2e::bytes_of;
using e2e::Expected;
using e2e::kStatusMinusOne;
using e2e::repeat;

namespace fs = std::filesystem;

class Bytesplit : public RomProgramTest {
  protected:
    Bytes usage() const {
        return RomProgramTest::usage("bytesplit",
                                     " <ROM file>\n"
                                     "       <ROM file>  HP ROM data file to be split\n");
    }
};

} // namespace

TEST_F(Bytesplit, EmptyRomGivesEmptyFiles) {
    write_file("rom.bin", "");
    EXPECT_RUN("bytesplit", {"rom.bin"},
               Expected{0, "", "", {{"rom.bin_high", ""}, {"rom.bin_low", ""}}});
}

TEST_F(Bytesplit, AllOnesBlockIsSoundAndSplitsToZeros) {
    write_file("rom.bin", repeat(0xFF, 8192));
    EXPECT_RUN(
        "bytesplit", {"rom.bin"},
        Expected{0,
                 "block 0: verify=-1 checksum=-1\t(ROM OK)\n",
                 "",
                 {{"rom.bin_high", repeat(0x00, 4096)}, {"rom.bin_low", repeat(0x00, 4096)}}});
}

TEST_F(Bytesplit, ComplementBytesOfAShortBlock) {
    // 12 34 gives ED and CB; FF 00 gives 00 and FF; the padding words give FF.
    write_file("rom.bin", bytes_of({0x12, 0x34, 0xFF, 0x00}));
    EXPECT_RUN("bytesplit", {"rom.bin"},
               Expected{0,
                        "block 0: verify=4405 checksum=10745\t(ROM currupt)\n"
                        "Warning: block 0 is short (4 bytes); it was padded with zero words.\n",
                        "",
                        {{"rom.bin_high", bytes_of({0xED, 0x00}) + repeat(0xFF, 4094)},
                         {"rom.bin_low", bytes_of({0xCB, 0xFF}) + repeat(0xFF, 4094)}}});
}

TEST_F(Bytesplit, ShortLastBlockPaddedWithZeroWords) {
    // Block 1 leaves 0x55 in the buffer; block 2 (100 bytes) must not see it.
    const Bytes tail = bytes_of({0x12, 0x34, 0xAB, 0xCD, 0x80, 0x00, 0xC1, 0xFD}) + repeat(0, 92);
    write_file("rom.bin", repeat(0x00, 8192) + repeat(0x55, 8192) + tail);
    const Bytes high_tail = bytes_of({0xED, 0x54, 0x7F, 0x3E}) + repeat(0xFF, 4092);
    const Bytes low_tail = bytes_of({0xCB, 0x32, 0xFF, 0x02}) + repeat(0xFF, 4092);
    EXPECT_RUN("bytesplit", {"rom.bin"},
               Expected{0,
                        "block 0: verify=0 checksum=0\t(ROM currupt)\n"
                        "block 1: verify=21845 checksum=-1\t(ROM currupt)\n"
                        "block 2: verify=-1 checksum=12618\t(ROM OK)\n"
                        "Warning: block 2 is short (100 bytes); it was padded with zero words.\n",
                        "",
                        {{"rom.bin_high", repeat(0xFF, 4096) + repeat(0xAA, 4096) + high_tail},
                         {"rom.bin_low", repeat(0xFF, 4096) + repeat(0xAA, 4096) + low_tail}}});
}

TEST_F(Bytesplit, BatchesAreWrittenAndReportedInTheInputsOrder) {
    // Eight batches of 64 blocks, then a short block of zeros. Block b is
    // zero words but for its last, 0x5A00 + b, which is then both of its
    // sums: a batch written or reported out of its place shows in all three
    // outputs.
    constexpr int kBlocks = 8 * 64;
    Bytes rom, high, low, report;
    for (int b = 0; b < kBlocks; ++b) {
        const int last = 0x5A00 + b;
        rom += repeat(0x00, 8190) + bytes_of({last >> 8, last & 0xFF});
        high += repeat(0xFF, 4095) + bytes_of({0xFF - (last >> 8)});
        low += repeat(0xFF, 4095) + bytes_of({0xFF - (last & 0xFF)});
        report += "block " + std::to_string(b) + ": verify=" + std::to_string(last) +
                  " checksum=" + std::to_string(last) + "\t(ROM currupt)\n";
    }
    rom += repeat(0x00, 6);
    high += repeat(0xFF, 4096);
    low += repeat(0xFF, 4096);
    report += "block 512: verify=0 checksum=0\t(ROM currupt)\n"
              "Warning: block 512 is short (6 bytes); it was padded with zero words.\n";
    write_file("rom.bin", rom);
    EXPECT_RUN("bytesplit", {"rom.bin"},
               Expected{0, report, "", {{"rom.bin_high", high}, {"rom.bin_low", low}}});
}

TEST_F(Bytesplit, UsageForNoNameOrAnyOption) {
    write_file("rom.bin", repeat(0xFF, 8192));
    const Bytes u = usage();
    for (const auto& args :
         std::vector<std::vector<std::string>>{{}, {"-"}, {"rom.bin", "-v"}, {"-x", "rom.bin"}}) {
        EXPECT_RUN(
            "bytesplit", args,
            Expected{0, u, "", {{"rom.bin_high", std::nullopt}, {"rom.bin_low", std::nullopt}}});
    }
}

TEST_F(Bytesplit, MissingRomCreatesNothing) {
    EXPECT_RUN("bytesplit", {"rom.bin", "other.bin"},
               Expected{kStatusMinusOne,
                        "",
                        "Could not open file \"rom.bin\".\n",
                        {{"rom.bin_high", std::nullopt}, {"rom.bin_low", std::nullopt}}});
}

TEST_F(Bytesplit, OutputFileCannotBeCreated) {
    // The high file is created first: when it fails the low file never is;
    // when the low file fails the high file, written beside, goes again.
    write_file("rom.bin", repeat(0xFF, 8192));
    write_file("x.bin", repeat(0xFF, 8192));
    fs::create_directory(path("rom.bin_low"));
    fs::create_directory(path("x.bin_high"));
    EXPECT_RUN("bytesplit", {"rom.bin"},
               Expected{kStatusMinusOne,
                        "",
                        "Could not create file \"rom.bin_low\".\n",
                        {{"rom.bin_high", std::nullopt}, {"rom.bin_high.tmp", std::nullopt}}});
    EXPECT_RUN("bytesplit", {"x.bin"},
               Expected{kStatusMinusOne,
                        "",
                        "Could not create file \"x.bin_high\".\n",
                        {{"x.bin_low", std::nullopt}}});
}

TEST_F(Bytesplit, DirectoryAsInputIsRefusedBeforeAnyOutput) {
    fs::create_directory(path("d"));
    write_file("d_low", "old");
    EXPECT_RUN("bytesplit", {"d"},
               Expected{kStatusMinusOne,
                        "",
                        "Could not open file \"d\".\n",
                        {{"d_high", std::nullopt}, {"d_low", "old"}}});
}

TEST_F(Bytesplit, FullDiskIsAWriteError) {
    // Block 0's write fails: the run ends there, so with one block or many only
    // block 0 is reported. The other output, the high file's batches written
    // to it or not, keeps its earlier bytes: the two are replaced together.
    for (const size_t blocks : {1, 128}) {
        for (const auto& [full, other] : {std::pair<std::string, std::string>{"_high", "_low"},
                                          std::pair<std::string, std::string>{"_low", "_high"}}) {
            const std::string rom = "rom" + std::to_string(blocks) + full;
            write_file(rom, repeat(0xFF, 8192 * blocks));
            write_file(rom + other, "old");
            fs::create_symlink("/dev/full", path(rom + full));
            EXPECT_RUN("bytesplit", {rom},
                       Expected{kStatusMinusOne,
                                "block 0: verify=-1 checksum=-1\t(ROM OK)\n",
                                "Write error on file \"" + rom + full +
                                    "\" #28 (No space left on device)\n",
                                {{rom + other, "old"}, {rom + other + ".tmp", std::nullopt}}});
        }
    }
}

TEST_F(Bytesplit, DiskFillingUpMidRunFailsAtThatBlock) {
    if (e2e::windows_target())
        GTEST_SKIP() << "a file size limit would also bind the Windows runner's own files";
    // A file size limit inside the high file: its write fails (EFBIG) at the
    // block that did not all get in, and that block's line is the last one.
    // Both earlier outputs keep their bytes (the low file had taken the
    // batches before the failed one), and nothing else is left in the folder.
    struct Case {
        size_t blocks;
        rlim_t limit_bytes;
        int last_line;
    };
    for (const Case& c : {Case{8, 3 * 4096, 3}, Case{192, 80 * 4096 + 100, 80}}) {
        write_file("r", repeat(0xFF, 8192 * c.blocks));
        write_file("r_high", "old high");
        write_file("r_low", "old low");
        rlimit saved{};
        ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
        if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < c.limit_bytes)
            GTEST_SKIP() << "file size limit already below the test's";
        rlimit limited = saved;
        limited.rlim_cur = c.limit_bytes;
        // Ignored in the run too, so the limit gives a failed write, not a signal.
        const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
        ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
        const e2e::Outcome o = run("bytesplit", {"r"}, {"r_high", "r_low"});
        setrlimit(RLIMIT_FSIZE, &saved);
        std::signal(SIGXFSZ, old_handler);

        Bytes report;
        for (int n = 0; n <= c.last_line; ++n)
            report += "block " + std::to_string(n) + ": verify=-1 checksum=-1\t(ROM OK)\n";
        EXPECT_EQ(o.status, kStatusMinusOne);
        EXPECT_EQ(o.out, report);
        EXPECT_EQ(o.err, "Write error on file \"r_high\" #27 (File too large)\n");
        EXPECT_EQ(o.files.at("r_high"), "old high");
        EXPECT_EQ(o.files.at("r_low"), "old low");
        EXPECT_EQ(folder(), (std::vector<std::string>{"r", "r_high", "r_low"}));
    }
}

TEST_F(Bytesplit, RomNameLongerThanAFixedBuffer) {
    // 300 characters of path, with each name well within the file system's limit.
    const std::string folder(200, 'd');
    fs::create_directory(path(folder));
    const std::string name = folder + "/" + std::string(99, 'r');
    write_file(name, repeat(0xFF, 8192));
    EXPECT_RUN(
        "bytesplit", {name},
        Expected{0,
                 "block 0: verify=-1 checksum=-1\t(ROM OK)\n",
                 "",
                 {{name + "_high", repeat(0x00, 4096)}, {name + "_low", repeat(0x00, 4096)}}});
}
