// basiclist under hostile file names, a hard-linked output, a write that fails midway and records
// cut short or full of garbage.
#include "e2e.h"

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <sys/resource.h>
#include <vector>

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
                            full + "\" #28 (No space left on device)\n",
                        {}});
}

// A write that fails midway (a file size limit, EFBIG) ends the run with the
// earlier listing as it was and no file written beside it left over.
TEST_F(BasiclistFaults, WriteFailingMidwayLeavesTheEarlierListing) {
    if (e2e::windows_target())
        GTEST_SKIP() << "a file size limit would also bind the Windows runner's own files";
    Bytes input;
    for (int r = 0; r < 10000; ++r) // an 80,000-byte listing
        input += end_line_record();
    write_file("in.bas", input);
    write_file("out.txt", "10 OLD\r\n");
    constexpr rlim_t kLimitBytes = 4096; // below the first 64 KiB the listing flushes
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    if (saved.rlim_max != RLIM_INFINITY && saved.rlim_max < kLimitBytes)
        GTEST_SKIP() << "file size limit already below the test's";
    rlimit limited = saved;
    limited.rlim_cur = kLimitBytes;
    // Ignored in the run too, so the limit gives a failed write, not a signal.
    const auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limited), 0);
    const e2e::Outcome o = run("basiclist", {"in.bas", "out.txt"});
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, old_handler);

    EXPECT_EQ(o.status, kStatusMinusOne);
    EXPECT_EQ(o.out, "");
    EXPECT_EQ(o.err, "Write error on file \"out.txt\" #27 (File too large)\n");
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(path("")))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (std::vector<std::string>{"in.bas", "out.txt"}));
    EXPECT_EQ(read_file("out.txt"), "10 OLD\r\n");
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
