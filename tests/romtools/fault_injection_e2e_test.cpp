// blocksum and bytesplit under hostile file names and outputs that lead back to the ROM file.
#include "rom_e2e_fixture.h"

#include <filesystem>
#include <string>
#include <utility>

namespace {

using e2e::Bytes;
using e2e::Expected;
using e2e::kStatusMinusOne;
using e2e::repeat;

namespace fs = std::filesystem;

// Blanks, both kinds of quote and UTF-8 letters: each message must carry the
// name byte for byte.
const std::string kOddName = e2e::portable_name("rom \"x\" 'y' \xC3\xBC\xE2\x82\xAC.bin");

const Bytes kSoundLine = "block 0: verify=-1 checksum=-1\t(ROM OK)\n";

class RomFaults : public RomProgramTest {};

} // namespace

TEST_F(RomFaults, BlocksumQuotesOddNamesExactly) {
    write_file(kOddName, repeat(0xFF, 8192));
    EXPECT_RUN("blocksum", {kOddName},
               Expected{0, kSoundLine, "", {{kOddName, repeat(0xFF, 8192)}}});
    EXPECT_RUN(
        "blocksum", {"missing " + kOddName},
        Expected{kStatusMinusOne, "", "Could not open file \"missing " + kOddName + "\".\n", {}});
    fs::create_directory(path("dir " + kOddName));
    EXPECT_RUN(
        "blocksum", {"dir " + kOddName},
        Expected{kStatusMinusOne, "", "Could not open file \"dir " + kOddName + "\".\n", {}});
}

TEST_F(RomFaults, BytesplitQuotesOddNamesExactly) {
    write_file(kOddName, repeat(0xFF, 8192));
    EXPECT_RUN("bytesplit", {kOddName},
               Expected{0,
                        kSoundLine,
                        "",
                        {{kOddName + "_high", repeat(0x00, 4096)},
                         {kOddName + "_low", repeat(0x00, 4096)}}});
    EXPECT_RUN("bytesplit", {"missing " + kOddName},
               Expected{kStatusMinusOne,
                        "",
                        "Could not open file \"missing " + kOddName + "\".\n",
                        {{"missing " + kOddName + "_high", std::nullopt}}});
    if (e2e::windows_target())
        GTEST_SKIP() << "no /dev/full";
    const std::string full = "full " + kOddName;
    write_file(full, repeat(0xFF, 8192));
    fs::create_symlink("/dev/full", path(full + "_low"));
    EXPECT_RUN("bytesplit", {full},
               Expected{kStatusMinusOne,
                        kSoundLine,
                        "Write error on file \"" + full + "_low\" #28 (No space left on device)\n",
                        {{full + "_high", std::nullopt}}});
}

// Opening an output that is the ROM file for writing would empty the ROM
// before its first block is read: the run is refused before either output is
// opened, and the ROM keeps every byte.
TEST_F(RomFaults, BytesplitNeverTruncatesItsOwnInput) {
    if (e2e::windows_target())
        GTEST_SKIP() << "symbolic links need privileges on Windows";
    const Bytes rom = repeat(0xFF, 8192) + repeat(0x12, 100);
    // Either output as a symbolic link to the ROM; the other is not created.
    for (const auto& [linked, other] : {std::pair<std::string, std::string>{"x_high", "x_low"},
                                        std::pair<std::string, std::string>{"x_low", "x_high"}}) {
        write_file("x", rom);
        fs::create_symlink("x", path(linked));
        EXPECT_RUN("bytesplit", {"x"},
                   Expected{kStatusMinusOne,
                            "",
                            "Output file \"" + linked +
                                "\" is the input file \"x\"; it is not "
                                "overwritten.\n",
                            {{"x", rom}, {other, std::nullopt}}});
        fs::remove(path(linked));
    }

    // A hard link is the same file under another name.
    write_file("z", rom);
    fs::create_hard_link(path("z"), path("z_high"));
    EXPECT_RUN("bytesplit", {"./z"},
               Expected{kStatusMinusOne,
                        "",
                        "Output file \"./z_high\" is the input file \"./z\"; it is not "
                        "overwritten.\n",
                        {{"z", rom}, {"z_low", std::nullopt}}});
}

// Both outputs in one file would each overwrite the other's bytes.
TEST_F(RomFaults, BytesplitRefusesOneFileForBothOutputs) {
    if (e2e::windows_target())
        GTEST_SKIP() << "symbolic links need privileges on Windows";
    write_file("w", repeat(0xFF, 8192));
    fs::create_symlink("w_high", path("w_low"));
    EXPECT_RUN("bytesplit", {"w"},
               Expected{kStatusMinusOne,
                        "",
                        "Output file \"w_low\" is the output file \"w_high\"; it is not "
                        "overwritten.\n",
                        {{"w", repeat(0xFF, 8192)}, {"w_high", std::nullopt}}});
}
