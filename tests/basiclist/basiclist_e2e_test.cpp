// basiclist run as a program: listings on stdout and in files, damage reports, failures.
#include "e2e.h"

#include <cerrno>
#include <filesystem>

using e2e::Bytes;
using e2e::bytes_of;
using e2e::Expected;
using e2e::kStatusMinusOne;
using e2e::repeat;

namespace {

// Record bytes: `items` from position 0, the rest filled with `fill`.
Bytes record(const Bytes& items, int fill = 0x0D) {
    return items + repeat(fill, 256 - items.size());
}

// A counted line item (type 3C) holding `text`.
Bytes line(const std::string& text) {
    return bytes_of({0x00, 0x3C, 0x00, static_cast<int>(text.size())}) + text;
}

const Bytes kEndMark = bytes_of({0x00, 0x3E});

// Record 0 of the worked example: HELLO, "A B", an empty line, and LIST
// left open by a record-tail item.
Bytes worked_record0() {
    Bytes r = bytes_of({0x00, 0x3C, 0x00, 0x05}) + "HELLO" + bytes_of({0x0D}) +
              bytes_of({0x00, 0x2C, 0x00, 0x03, 0x41, 0x09, 0xC2}) + bytes_of({0x00, 0x3C, 0, 0});
    r += repeat(0x0D, 248 - r.size());
    return r + bytes_of({0x00, 0x1C, 0x00, 0x09}) + "LIST";
}

// Record 1: the line's end "ED", then the end mark, then FF bytes.
Bytes worked_record1() {
    return record(bytes_of({0x00, 0x2C, 0x00, 0x02, 0x45, 0xC4}) + kEndMark, 0xFF);
}

const Bytes kWorkedListing = "HELLO\r\nA B\r\n\r\nLISTED\r\n";

// The closing reports of a listing that ends without the end mark, and of one
// whose last line runs on into a record that is not there.
const std::string kNoEndMark = "no end mark: the file may be incomplete\n";
const std::string kLastLineOpen = "the last line is incomplete: the file ends inside it\n";

class Basiclist : public e2e::Test {};

} // namespace

TEST_F(Basiclist, WorkedExampleToStdoutAndToFile) {
    write_file("in.bas", worked_record0() + worked_record1());
    ASSERT_EQ(worked_record0().size(), 256u);
    EXPECT_RUN("basiclist", {"in.bas"}, Expected{1, kWorkedListing, "", {}});
    EXPECT_RUN("basiclist", {"-v", "in.bas", "out.txt"},
               Expected{1, "", "", {{"out.txt", kWorkedListing}}});
}

TEST_F(Basiclist, WorkedExampleWithoutSecondRecordLeavesLineOpen) {
    const Bytes first18 = kWorkedListing.substr(0, 18);
    write_file("one.bas", worked_record0());
    EXPECT_RUN("basiclist", {"one.bas", "out.txt"},
               Expected{0, "", kNoEndMark + kLastLineOpen, {{"out.txt", first18}}});
    write_file("short.bas", worked_record0() + worked_record1().substr(0, 255));
    EXPECT_RUN("basiclist", {"short.bas"},
               Expected{0,
                        first18,
                        "255 bytes after the last whole record were not listed\n" + kNoEndMark +
                            kLastLineOpen,
                        {}});
}

TEST_F(Basiclist, InputsWithoutWholeRecords) {
    write_file("empty.bas", "");
    EXPECT_RUN("basiclist", {"empty.bas", "out.txt"}, Expected{0, "", "", {{"out.txt", ""}}});
    write_file("100.bas", repeat(0x41, 100));
    EXPECT_RUN(
        "basiclist", {"100.bas", "out.txt"},
        Expected{
            0, "", "100 bytes after the last whole record were not listed\n", {{"out.txt", ""}}});
    write_file("300.bas", record(line("10 END")) + kEndMark + repeat(0x00, 42));
    EXPECT_RUN("basiclist", {"300.bas"},
               Expected{0,
                        "10 END\r\n",
                        "44 bytes after the last whole record were not listed\n" + kNoEndMark,
                        {}});
}

TEST_F(Basiclist, FillerRecordsAndEndMarkWithLaterRecords) {
    write_file("in.bas", record("") + record(line("10 A=1")) + record("") +
                             record(line("20 STOP") + kEndMark) + record(line("30 B=2")) +
                             record("", 0x77) + repeat(0x11, 9));
    // Nothing after the end mark is read: no line 30, no damage, no remainder.
    EXPECT_RUN("basiclist", {"in.bas", "out.txt"},
               Expected{1, "", "", {{"out.txt", "10 A=1\r\n20 STOP\r\n"}}});
}

TEST_F(Basiclist, LineSplitAcrossThreeRecords) {
    const Bytes head = line("10 PRINT 1") + bytes_of({0x0D});
    Bytes r0 = head + bytes_of({0x00, 0x1C, 0x12, 0x34});
    r0 += "20 PRINT \"" + repeat('a', 256 - r0.size() - 10);
    const Bytes r1 = bytes_of({0x00, 0x0C, 0x00, 0x00}) + repeat('b', 252);
    const Bytes r2 = record(line("c\"") + line("30 END"));
    write_file("in.bas", r0 + r1 + r2);
    EXPECT_RUN("basiclist", {"in.bas"},
               Expected{0,
                        "10 PRINT 1\r\n20 PRINT \"" + repeat('a', 256 - head.size() - 14) +
                            repeat('b', 252) + "c\"\r\n30 END\r\n",
                        kNoEndMark,
                        {}});
}

TEST_F(Basiclist, TextBytesInTheListing) {
    write_file("in.bas", record(line(bytes_of({0x09, 0xC2, 0x7F, 0xFF, 0x31, 0xB1}))));
    EXPECT_RUN("basiclist", {"in.bas"},
               Expected{0,
                        " B\x7F\x7F"
                        "11\r\n",
                        kNoEndMark,
                        {}});
}

TEST_F(Basiclist, ThreeFileNamesWriteTheThird) {
    write_file("a", record(line("10 REM")));
    write_file("b", "keep");
    EXPECT_RUN("basiclist", {"a", "b", "c"},
               Expected{0, "", kNoEndMark, {{"b", "keep"}, {"c", "10 REM\r\n"}}});
}

TEST_F(Basiclist, UsageOpensNoFile) {
    write_file("in.bas", record(line("10 REM")));
    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"-v"}, {"in.bas", "-x"}, {"missing.bas", "out.txt", "-x"}, {"-", "in.bas"}}) {
        const e2e::Outcome o = run("basiclist", args, {"out.txt"});
        EXPECT_EQ(o.status, 0);
        EXPECT_EQ(o.err, "");
        EXPECT_EQ(o.files.at("out.txt"), std::nullopt);
        const size_t name_end = o.out.find(' ', 7);
        ASSERT_EQ(o.out.substr(0, 7), "Usage: ");
        ASSERT_NE(name_end, std::string::npos);
        const std::string program = o.out.substr(7, name_end - 7);
        EXPECT_NE(program.find("basiclist"), std::string::npos) << program;
        EXPECT_EQ(o.out, e2e::as_text_stream("Usage: " + program +
                                             " <input file> [<output file>]\n"
                                             "        <input file>  HP 9845 basic file\n"
                                             "        -v            verbose mode\n"));
    }
}

TEST_F(Basiclist, FilesThatCannotBeOpened) {
    EXPECT_RUN("basiclist", {"missing.bas", "out.txt"},
               Expected{kStatusMinusOne,
                        "",
                        "Could not open file \"missing.bas\".\n",
                        {{"out.txt", std::nullopt}}});
    write_file("in.bas", record(line("10 REM")));
    EXPECT_RUN(
        "basiclist", {"in.bas", "no/such/dir/out.txt"},
        Expected{
            kStatusMinusOne, "", "Could not open file \"no/such/dir/out.txt\" for writing.\n", {}});
}

// Refused before the output is touched: an earlier listing keeps every byte,
// and nothing else appears in the folder.
TEST_F(Basiclist, DirectoryAsInputIsRefusedBeforeAnyOutput) {
    std::filesystem::create_directory(path("dir.bas"));
    write_file("out.txt", "10 OLD\r\n");
    EXPECT_RUN("basiclist", {"dir.bas", "out.txt"},
               Expected{kStatusMinusOne,
                        "",
                        "Could not open file \"dir.bas\".\n",
                        {{"out.txt", "10 OLD\r\n"}, {"out.txt.tmp", std::nullopt}}});
}

// Under Wine the Windows build's "/dev/full" is the same device, full alike.
TEST_F(Basiclist, WriteErrorOnFullDevice) {
    write_file("in.bas", worked_record0() + worked_record1());
    EXPECT_RUN("basiclist", {"in.bas", "/dev/full"},
               Expected{kStatusMinusOne,
                        "",
                        "Write error on file \"/dev/full\" #28 (No space left on device)\n",
                        {}});
}

// An existing output with a zero byte in its first 64 KiB is an original,
// not a listing: names given the wrong way round must not cost it. A listing
// of an earlier run, and a file whose first zero lies past 64 KiB, are
// replaced as before.
TEST_F(Basiclist, OutputThatIsNoListingIsRefused) {
    const Bytes data = record(bytes_of({0x00, 0x3C, 0x00, 0x02}) + "OK" + kEndMark);
    write_file("PRIME3.DATA", data);
    write_file("PRIME3.txt", "10 REM\r\n");
    EXPECT_RUN("basiclist", {"PRIME3.txt", "PRIME3.DATA"},
               Expected{kStatusMinusOne,
                        "",
                        "Output file \"PRIME3.DATA\" is not a listing; it is not replaced. Check "
                        "the order of the file names, or remove the file first.\n",
                        {{"PRIME3.DATA", data},
                         {"PRIME3.txt", "10 REM\r\n"},
                         {"PRIME3.DATA.tmp", std::nullopt}}});
    // The same run twice: each replaces the listing before it, which keeps
    // the permissions it was given.
    const auto owner_only =
        std::filesystem::perms::owner_read | std::filesystem::perms::owner_write;
    std::filesystem::permissions(path("PRIME3.txt"), owner_only);
    for (int run = 0; run < 2; ++run)
        EXPECT_RUN("basiclist", {"PRIME3.DATA", "PRIME3.txt"},
                   Expected{1, "", "", {{"PRIME3.txt", "OK\r\n"}}});
    if (!e2e::windows_target()) {
        EXPECT_EQ(std::filesystem::status(path("PRIME3.txt")).permissions(), owner_only);
    }
    write_file("late.txt", repeat('x', 64 * 1024) + bytes_of({0x00}));
    EXPECT_RUN("basiclist", {"PRIME3.DATA", "late.txt"},
               Expected{1, "", "", {{"late.txt", "OK\r\n"}}});
}

TEST_F(Basiclist, OutputThatIsTheInputIsRefused) {
    const Bytes input = worked_record0() + worked_record1();
    write_file("in.bas", input);
    std::filesystem::create_symlink("in.bas", path("link.txt"));
    for (const std::string name : {"in.bas", "./in.bas", "link.txt"})
        EXPECT_RUN("basiclist", {"in.bas", name},
                   Expected{kStatusMinusOne,
                            "",
                            "Output file \"" + name +
                                "\" is the input file \"in.bas\"; it is not overwritten.\n",
                            {{"in.bas", input}}});
}

TEST_F(Basiclist, UnknownItemsReportedForTenRecordsThenCounted) {
    // Records 0 to 11 each hold a line, then garbage; record 12 is clean.
    Bytes in;
    for (int i = 0; i < 12; ++i)
        in += record(line(std::to_string(i)) + "?!" + line("x"));
    in += record(line("end"));
    write_file("in.bas", in);
    Bytes listing, messages;
    for (int i = 0; i < 12; ++i) {
        listing += std::to_string(i) + "\r\nx\r\n";
        // A one-digit line has an odd length: '?' is its pad byte, '!' alone is unknown.
        const size_t offset = static_cast<size_t>(i) * 256 + 4 + std::to_string(i).size() + 1;
        if (i < 10)
            messages += "Record " + std::to_string(i) + ": 1 unknown bytes from byte offset " +
                        std::to_string(offset) + " of \"in.bas\" passed over\n";
    }
    messages += "... 12 records in all had unknown items\n" + kNoEndMark;
    EXPECT_RUN("basiclist", {"in.bas", "out.txt"},
               Expected{0, "", messages, {{"out.txt", listing + "end\r\n"}}});

    // Up to ten runs: one line each and no closing line. A run is one line
    // however long, and a filler byte parts two runs. The first FF is the pad
    // byte of the line "b".
    write_file("few.bas",
               record(line("a")) + record(bytes_of({0x00, 0x99}) + line("b") + repeat(0xFF, 40) +
                                          bytes_of({0x0D, 0x01}) + line("c")));
    EXPECT_RUN(
        "basiclist", {"few.bas"},
        Expected{0,
                 "a\r\nb\r\nc\r\n",
                 "Record 1: 2 unknown bytes from byte offset 256 of \"few.bas\" passed over\n"
                 "Record 1: 39 unknown bytes from byte offset 264 of \"few.bas\" passed over\n"
                 "Record 1: 1 unknown bytes from byte offset 304 of \"few.bas\" passed over\n" +
                     kNoEndMark,
                 {}});
}

TEST_F(Basiclist, OverlongLinesCutAndReported) {
    // Each record: a line whose length runs 8 bytes past the record's end.
    Bytes in, listing, messages;
    for (int i = 0; i < 11; ++i) {
        const Bytes text = repeat('A' + i, 246);
        in += record(line("ok") + bytes_of({0x00, 0x2C, 0x00, 0xFE}) + text);
        listing += "ok\r\n" + text + "\r\n";
        if (i < 10)
            messages += "Record " + std::to_string(i) + ": line item at byte offset " +
                        std::to_string(i * 256 + 6) +
                        " of \"in.bas\" runs past the record's end, cut there\n";
    }
    messages += "... 11 records in all had a line cut at the record's end\n";
    write_file("in.bas", in + record(kEndMark));
    EXPECT_RUN("basiclist", {"in.bas"}, Expected{1, listing, messages, {}});
}
