// bytesplit run as a program: report lines, the two complemented files, end and failure statuses.
#include "rom_e2e_fixture.h"

#include <filesystem>

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
                        "block 0: verify=4405 checksum=10745\t(ROM currupt)\n",
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
                        "block 2: verify=-1 checksum=12618\t(ROM OK)\n",
                        "",
                        {{"rom.bin_high", repeat(0xFF, 4096) + repeat(0xAA, 4096) + high_tail},
                         {"rom.bin_low", repeat(0xFF, 4096) + repeat(0xAA, 4096) + low_tail}}});
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

TEST_F(Bytesplit, LowFileCannotBeCreated) {
    write_file("rom.bin", repeat(0xFF, 8192));
    fs::create_directory(path("rom.bin_low"));
    EXPECT_RUN("bytesplit", {"rom.bin"},
               Expected{kStatusMinusOne,
                        "",
                        "Could not create file \"rom.bin_low\".\n",
                        {{"rom.bin_high", ""}}});
}

TEST_F(Bytesplit, DirectoryAsInputIsAReadError) {
    fs::create_directory(path("d"));
    if (e2e::windows_target()) {
        // Windows opens no stream on a directory: the open fails, before any output exists.
        EXPECT_RUN("bytesplit", {"d"},
                   Expected{kStatusMinusOne,
                            "",
                            "Could not open file \"d\".\n",
                            {{"d_high", std::nullopt}, {"d_low", std::nullopt}}});
        return;
    }
    EXPECT_RUN("bytesplit", {"d"},
               Expected{kStatusMinusOne,
                        "",
                        "Read error on file \"d\" (0 bytes read)\n",
                        {{"d_high", ""}, {"d_low", ""}}});
}

TEST_F(Bytesplit, FullDiskIsAWriteError) {
    // The failure shows when the data leave the stream's buffer: here when the
    // files are closed. The other file is still complete.
    write_file("x", repeat(0xFF, 8192));
    fs::create_symlink("/dev/full", path("x_high"));
    EXPECT_RUN("bytesplit", {"x"},
               Expected{kStatusMinusOne,
                        "block 0: verify=-1 checksum=-1\t(ROM OK)\n",
                        "Write error on file \"x_high\" #28\n",
                        {{"x_low", repeat(0x00, 4096)}}});

    write_file("y", repeat(0xFF, 8192));
    fs::create_symlink("/dev/full", path("y_low"));
    EXPECT_RUN("bytesplit", {"y"},
               Expected{kStatusMinusOne,
                        "block 0: verify=-1 checksum=-1\t(ROM OK)\n",
                        "Write error on file \"y_low\" #28\n",
                        {{"y_high", repeat(0x00, 4096)}}});
}

TEST_F(Bytesplit, WriteErrorStopsTheBlockLoop) {
    constexpr size_t kBlocks = 64;
    write_file("z", repeat(0xFF, 8192 * kBlocks));
    fs::create_symlink("/dev/full", path("z_low"));
    const e2e::Outcome o = run("bytesplit", {"z"});
    EXPECT_EQ(o.status, kStatusMinusOne);
    EXPECT_EQ(o.err, e2e::as_text_stream("Write error on file \"z_low\" #28\n"));
    const Bytes line = e2e::as_text_stream("verify=-1 checksum=-1\t(ROM OK)\n");
    size_t lines = 0;
    for (size_t at = 0; (at = o.out.find(line, at)) != Bytes::npos; at += line.size())
        ++lines;
    EXPECT_GE(lines, 1u);
    EXPECT_LT(lines, kBlocks) << "the run went on after the failed write";
    Bytes numbered; // the same lines, numbered from 0 without a gap
    for (size_t n = 0; n < lines; ++n)
        numbered += "block " + std::to_string(n) + ": " + line;
    EXPECT_EQ(o.out, numbered);
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
