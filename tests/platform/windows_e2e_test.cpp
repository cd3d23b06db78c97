// What the console platform adds to the programs: text-mode standard streams, wildcard expansion,
// exit values.
//
// The same tests run against a POSIX build and, under Wine, against the
// Windows .exe files (HPKIT_TARGET=windows); where the platforms differ by
// design, each test states both behaviours explicitly instead of leaving it
// to the harness's CR LF rule.
#include "../hpfiles/disk_builder.h"
#include "e2e.h"

#include <string>
#include <vector>

namespace {

using e2e::Bytes;

constexpr size_t kBasicRecordBytes = 256;
constexpr size_t kRomBlockBytes = 8192; // 4096 words of 2 bytes, the default block

// One BASIC record: the given items, then the end mark, filled up with 0D filler bytes.
Bytes basic_record_ending(const Bytes& items) {
    Bytes record = items + e2e::bytes_of({0x00, 0x3E});
    record.resize(kBasicRecordBytes, '\x0D');
    return record;
}

// A counted line item holding `text`.
Bytes line_item(const Bytes& text) {
    return e2e::bytes_of({0x00, 0x3C, static_cast<int>(text.size() >> 8),
                          static_cast<int>(text.size() & 0xFF)}) +
           text;
}

// How many lines end in LF, and whether each of them ends in exactly CR LF
// (`crlf`) or in a bare LF (`!crlf`), with no CR anywhere else.
::testing::AssertionResult lines_end_in(const Bytes& text, bool crlf, size_t lines) {
    size_t seen = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n') {
            ++seen;
            const bool after_cr = i > 0 && text[i - 1] == '\r';
            if (after_cr != crlf)
                return ::testing::AssertionFailure()
                       << "line " << seen << " ends " << (after_cr ? "in CR LF" : "in a bare LF")
                       << ": " << e2e::render(text);
        } else if (text[i] == '\r' && !(crlf && i + 1 < text.size() && text[i + 1] == '\n')) {
            return ::testing::AssertionFailure()
                   << "stray CR at byte " << i << ": " << e2e::render(text);
        }
    }
    if (seen != lines)
        return ::testing::AssertionFailure()
               << seen << " lines instead of " << lines << ": " << e2e::render(text);
    return ::testing::AssertionSuccess();
}

class Platform : public e2e::Test {};

// basiclist writes the 0D 0A of each line byte by byte into standard output,
// which stays a text stream: on Windows its LF leaves as CR LF.
TEST_F(Platform, BasiclistOnStandardOutputDoublesTheCarriageReturnOnWindows) {
    write_file("prog.bas", basic_record_ending(line_item("HELLO") + line_item("")));
    const e2e::Outcome got = run("basiclist", {"prog.bas"});
    EXPECT_EQ(got.status, 1);
    EXPECT_EQ(got.err, "");
    const Bytes want = e2e::windows_target() ? Bytes("HELLO\r\r\n\r\r\n") : Bytes("HELLO\r\n\r\n");
    EXPECT_EQ(e2e::render(got.out), e2e::render(want));
}

// A named output file is opened in binary mode on every platform: exact CR LF.
TEST_F(Platform, BasiclistIntoAFileWritesExactCrLf) {
    write_file("prog.bas", basic_record_ending(line_item("HELLO") + line_item("")));
    const e2e::Outcome got = run("basiclist", {"prog.bas", "prog.txt"}, {"prog.txt"});
    EXPECT_EQ(got.status, 1);
    EXPECT_EQ(got.out, "");
    EXPECT_EQ(got.err, "");
    ASSERT_TRUE(got.files.at("prog.txt"));
    EXPECT_EQ(e2e::render(*got.files.at("prog.txt")), e2e::render("HELLO\r\n\r\n"));
}

// The input is read in binary mode too: a Ctrl-Z byte does not end it and a
// CR LF pair inside a record keeps both bytes (each becomes a space).
TEST_F(Platform, InputBytesThatTextModeWouldEatReachTheListing) {
    Bytes record = basic_record_ending(line_item(e2e::bytes_of({'A', 0x1A, 0x0D, 0x0A, 'B'})));
    write_file("prog.bas", record);
    EXPECT_RUN("basiclist", {"prog.bas", "prog.txt"},
               e2e::Expected{1, "", "", {{"prog.txt", Bytes("A   B\r\n")}}});
}

// A LIF volume of four records whose TEXT file (record 3) holds the lines
// "HELLO" (with its pad byte) and "", and the bytes 0A 0D after its end record.
Bytes lif_text_disk() {
    const Bytes text = e2e::bytes_of({0x00, 0x05}) + "HELLO" +
                       e2e::bytes_of({0x00, 0x00, 0x00, 0xFF, 0xFF, 0x0A, 0x0D});
    const hpfiles_test::Bytes image =
        hpfiles_test::LifDisk(4)
            .entry(hpfiles_test::LifEntry{"T", 0x0001, 3, 1})
            .bytes_at(3, hpfiles_test::Bytes(text.begin(), text.end()))
            .image();
    return Bytes(image.begin(), image.end());
}

// hpfiles text writes its CR LF lines to standard output as they are, not
// through the console's text mode; a named text file and the files of get are
// binary too.
TEST_F(Platform, HpfilesTextKeepsItsLineEndsOnStandardOutput) {
    write_file("disk.hpi", lif_text_disk());
    const e2e::Outcome got = run("hpfiles", {"text", "disk.hpi", "T"});
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.err, "");
    // The text's own CR LF line ends pass unchanged, on Windows too.
    EXPECT_EQ(e2e::render(got.out), e2e::render(Bytes("HELLO\r\n\r\n")));

    EXPECT_RUN("hpfiles", {"text", "disk.hpi", "T", "t.txt"},
               e2e::Expected{0, "", "", {{"t.txt", Bytes("HELLO\r\n\r\n")}}});
    const e2e::Outcome written = run("hpfiles", {"get", "disk.hpi", "T"}, {"T.TEXT"});
    EXPECT_EQ(written.status, 0);
    ASSERT_TRUE(written.files.at("T.TEXT"));
    EXPECT_EQ(e2e::render(*written.files.at("T.TEXT")),
              e2e::render(lif_text_disk().substr(3 * kBasicRecordBytes)));
}

// bytesplit's outputs are binary files: complements that happen to be 0A
// and 0D (input bytes F5 and F2) arrive unchanged, 4096 bytes per block.
TEST_F(Platform, SplitOutputsKeepLineFeedAndCarriageReturnBytes) {
    Bytes rom;
    for (size_t word = 0; word < kRomBlockBytes / 2; ++word)
        rom += e2e::bytes_of({0xF5, 0xF2});
    write_file("rom.bin", rom);
    const e2e::Outcome got = run("bytesplit", {"rom.bin"}, {"rom.bin_high", "rom.bin_low"});
    EXPECT_EQ(got.status, 0);
    EXPECT_EQ(got.err, "");
    EXPECT_EQ(got.out.rfind("block 0: verify=", 0), 0u) << e2e::render(got.out);
    EXPECT_TRUE(lines_end_in(got.out, e2e::windows_target(), 1));
    ASSERT_TRUE(got.files.at("rom.bin_high") && got.files.at("rom.bin_low"));
    EXPECT_EQ(*got.files.at("rom.bin_high"), e2e::repeat(0x0A, kRomBlockBytes / 2));
    EXPECT_EQ(*got.files.at("rom.bin_low"), e2e::repeat(0x0D, kRomBlockBytes / 2));
}

// The usage text is printed through standard output: on Windows every line
// ends in CR LF, on POSIX in LF alone.
TEST_F(Platform, UsageTextLinesEndInCrLfOnWindowsOnly) {
    const std::vector<std::pair<std::string, size_t>> usage_lines = {
        {"imgconv", 23}, {"blocksum", 2}, {"bytesplit", 2}, {"basiclist", 3}, {"hpfiles", 17}};
    for (const auto& [program, lines] : usage_lines) {
        SCOPED_TRACE(program);
        const e2e::Outcome got = run(program, {});
        EXPECT_EQ(got.status, 0);
        EXPECT_EQ(got.err, "");
        EXPECT_EQ(got.out.rfind("Usage: ", 0), 0u) << e2e::render(got.out);
        EXPECT_TRUE(lines_end_in(got.out, e2e::windows_target(), lines));
    }
}

// "--version" as the first argument prints the program's own name and the
// kit's version from the build; anywhere else it is an unknown word and, like
// "--help", brings the usage text.
TEST_F(Platform, VersionLineOnlyForTheFirstArgument) {
    for (const std::string program : {"imgconv", "blocksum", "bytesplit", "basiclist", "hpfiles"}) {
        SCOPED_TRACE(program);
        EXPECT_RUN(program, {"--version", "in.bin"},
                   e2e::Expected{0, program + " (HP 9845 data kit) " HPKIT_VERSION "\n", "", {}});
        for (const std::vector<std::string>& args :
             {std::vector<std::string>{"--help"}, {"in.bin", "--version"}}) {
            const e2e::Outcome got = run(program, args);
            EXPECT_EQ(got.status, 0);
            EXPECT_EQ(got.out.rfind("Usage: ", 0), 0u) << e2e::render(got.out);
        }
    }
}

// Exit status -1 is all bits set; the shell (or Wine handing it on) keeps the
// low 8 bits.
TEST_F(Platform, ExitStatusMinusOneReachesTheShellAs255) {
    EXPECT_EQ(e2e::kStatusMinusOne, 255);
    EXPECT_RUN("blocksum", {"missing.bin"},
               e2e::Expected{255, "", "Could not open file \"missing.bin\".\n", {}});
    EXPECT_RUN("bytesplit", {"missing.bin"},
               e2e::Expected{255,
                             "",
                             "Could not open file \"missing.bin\".\n",
                             {{"missing.bin_high", std::nullopt}}});
    EXPECT_RUN("basiclist", {"missing.bas"},
               e2e::Expected{255, "", "Could not open file \"missing.bas\".\n", {}});
    EXPECT_RUN(
        "imgconv", {"missing.ima", "out.hpi"},
        e2e::Expected{
            255, "", "Could not open input file \"missing.ima\".\n", {{"out.hpi", std::nullopt}}});
    EXPECT_RUN(
        "hpfiles", {"text", "missing.hpi", "T", "t.txt"},
        e2e::Expected{
            255, "", "Could not open input file \"missing.hpi\".\n", {{"t.txt", std::nullopt}}});
}

// The image that `ROM*.bin` names: on Windows the start-up code expands the
// pattern and blocksum reads the first name, in sorted order; a POSIX program
// started without a shell sees the pattern itself, which names no file.
TEST_F(Platform, WildcardNamesTheFirstMatchingFileOnWindows) {
    write_file("ROM2.bin", e2e::repeat(0xFF, kRomBlockBytes)); // written first, sorted second
    write_file("ROM1.bin", e2e::repeat(0x00, kRomBlockBytes));
    write_file("ROM1.txt", e2e::repeat(0xFF, kRomBlockBytes));
    if (e2e::windows_target()) {
        const std::string report =
            "Warning: only the first image is checked; \"ROM2.bin\" is not read.\n"
            "block 0: verify=0 checksum=0\t(no ROM present)\n";
        EXPECT_RUN("blocksum", {"-plain", "ROM*.bin"}, e2e::Expected{0, report, "", {}});
        EXPECT_RUN("blocksum", {"-plain", "ROM?.bin"}, e2e::Expected{0, report, "", {}});
    } else {
        EXPECT_RUN("blocksum", {"-plain", "ROM*.bin"},
                   e2e::Expected{255, "", "Could not open file \"ROM*.bin\".\n", {}});
        EXPECT_RUN("blocksum", {"-plain", "ROM?.bin"},
                   e2e::Expected{255, "", "Could not open file \"ROM?.bin\".\n", {}});
    }
}

// A pattern that matches nothing stays as it is on both platforms.
TEST_F(Platform, WildcardWithoutMatchStaysLiteral) {
    write_file("ROM1.bin", e2e::repeat(0x00, kRomBlockBytes));
    EXPECT_RUN("blocksum", {"NOPE*.bin"},
               e2e::Expected{255, "", "Could not open file \"NOPE*.bin\".\n", {}});
}

// Expansion fills every matching name into the argument list: bytesplit
// splits the first and ignores the rest, so only the first gets outputs.
TEST_F(Platform, WildcardSplitsOnlyTheFirstMatch) {
    write_file("b.rom", e2e::repeat(0x00, kRomBlockBytes));
    write_file("a.rom", e2e::repeat(0xFF, kRomBlockBytes));
    if (e2e::windows_target()) {
        EXPECT_RUN("bytesplit", {"*.rom"},
                   e2e::Expected{0,
                                 "block 0: verify=-1 checksum=-1\t(ROM OK)\n",
                                 "",
                                 {{"a.rom_high", e2e::repeat(0x00, kRomBlockBytes / 2)},
                                  {"a.rom_low", e2e::repeat(0x00, kRomBlockBytes / 2)},
                                  {"b.rom_high", std::nullopt}}});
    } else {
        EXPECT_RUN("bytesplit", {"*.rom"},
                   e2e::Expected{255,
                                 "",
                                 "Could not open file \"*.rom\".\n",
                                 {{"a.rom_high", std::nullopt}, {"*.rom_high", std::nullopt}}});
    }
}

} // namespace
