// basiclist under hostile file names, a hard-linked output and records cut short or full of
// garbage.
#include "e2e.h"

#include <cerrno>
#include <filesystem>

namespace {

using e2e::Bytes;
using e2e::bytes_of;
using e2e::Expected;
using e2e::kStatusMinusOne;
using e2e::repeat;

namespace fs = std::filesystem;

// Blanks, both kinds of quote and UTF-8 letters: each message must carry the
// name byte for byte.
const std::string kOddName = e2e::portable_name("prog \"q\" 'r' \xC3\xB6\xE2\x82\xAC.bas");

// One record: a counted line "10 END", then filler.
Bytes end_line_record() {
    return bytes_of({0x00, 0x3C, 0x00, 0x06}) + "10 END" + repeat(0x0D, 246);
}

class BasiclistFaults : public e2e::Test {};

} // namespace

TEST_F(BasiclistFaults, OddNamesQuotedExactly) {
    const std::string output = "list " + kOddName + ".txt";
    // A whole record with one unknown byte, then 5 bytes of a record cut short.
    const Bytes input = bytes_of({0x7F}) + end_line_record().substr(0, 255) + "12345";
    write_file(kOddName, input);
    EXPECT_RUN("basiclist", {kOddName, output},
               Expected{0,
                        "",
                        "Record 0: 1 unknown bytes from byte offset 0 of \"" + kOddName +
                            "\" passed over\n"
                            "5 bytes after the last whole record were not listed\n"
                            "no end mark: the file may be incomplete\n",
                        {{output, "10 END\r\n"}, {kOddName, input}}});
    EXPECT_RUN("basiclist", {"no " + kOddName, output},
               Expected{kStatusMinusOne, "", "Could not open file \"no " + kOddName + "\".\n", {}});
    EXPECT_RUN(
        "basiclist", {kOddName, "no dir " + kOddName + "/" + output},
        Expected{kStatusMinusOne,
                 "",
                 "Could not open file \"no dir " + kOddName + "/" + output + "\" for writing.\n",
                 {}});
    fs::create_hard_link(path(kOddName), path("hard " + kOddName));
    EXPECT_RUN("basiclist", {kOddName, "hard " + kOddName},
               Expected{kStatusMinusOne,
                        "",
                        "Output file \"hard " + kOddName + "\" is the input file \"" + kOddName +
                            "\"; it is not overwritten.\n",
                        {{kOddName, input}}});
    if (e2e::windows_target())
        GTEST_SKIP() << "no /dev/full";
    const std::string full = "full " + kOddName + ".txt";
    fs::create_symlink("/dev/full", path(full));
    EXPECT_RUN("basiclist", {kOddName, full},
               Expected{kStatusMinusOne,
                        "",
                        "Record 0: 1 unknown bytes from byte offset 0 of \"" + kOddName +
                            "\" passed over\n"
                            "5 bytes after the last whole record were not listed\n"
                            "no end mark: the file may be incomplete\n"
                            "Write error on file \"" +
                            full + "\" #" + std::to_string(ENOSPC) + "\n",
                        {}});
}

// Records of nothing but bytes that are no item: every byte is passed over
// one by one and the run ends at the input's end, however long.
TEST_F(BasiclistFaults, GarbageRecordsEndAtTheInputsEnd) {
    write_file("junk.bas", repeat(0xFF, 256 * 4096) + end_line_record());
    Bytes messages;
    for (int r = 0; r < 10; ++r)
        messages += "Record " + std::to_string(r) + ": 255 unknown bytes from byte offset " +
                    std::to_string(r * 256) + " of \"junk.bas\" passed over\n";
    messages += "... 4096 records in all had unknown items\n"
                "no end mark: the file may be incomplete\n";
    EXPECT_RUN("basiclist", {"junk.bas"}, Expected{0, "10 END\r\n", messages, {}});
}
