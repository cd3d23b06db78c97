// imgconv under hostile names, outputs that lead back to its inputs, dumps past 2 GiB and inputs
// that could stall it.
#include "e2e.h"
#include "imgconv_test_data.h"
#include "report_lines.h"

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <string>

namespace {

using e2e::Bytes;
using e2e::Expected;
using e2e::kStatusMinusOne;
using testdata::kNoLif;

namespace fs = std::filesystem;

// Blanks, both kinds of quote and UTF-8 letters: each message must carry the
// name byte for byte.
const std::string kOddName = e2e::portable_name("disk \"a\" 'b' \xC3\xA9\xE2\x82\xAC");

// A position of 2^31 or more is an invalid argument to a seek.
const std::string kSeekError = "Seek error " + testdata::error_number(EINVAL) + "\n";

// Linear conversion of one 16-record track, 16 bytes a record, as is.
const std::vector<std::string> kOneTrack = {"-c", "1",  "-h", "1",  "-s",
                                            "16", "-r", "16", "-i", "1"};

std::vector<std::string> with(std::vector<std::string> front,
                              const std::vector<std::string>& back) {
    front.insert(front.end(), back.begin(), back.end());
    return front;
}

// A report of one track at cylinder 0, head 0 holding records 0 and 1 of 16 bytes.
const std::string kTwoSectorReport =
    track_line(0, 0, 2) + sector_line(0, 0, 0, 16) + sector_line(0, 0, 1, 16);
const Bytes kTwoSectorDump = "sector zero.....sector one......";

class ImgconvFaults : public e2e::Test {
  protected:
    // Writes bytes at `offset` of a file that is otherwise a hole of `size` bytes.
    void write_sparse(const std::string& name, uint64_t size, uint64_t offset,
                      const Bytes& data) const {
        {
            std::ofstream f(path(name), std::ios::binary | std::ios::trunc);
            f.seekp(static_cast<std::streamoff>(offset));
            f.write(data.data(), static_cast<std::streamsize>(data.size()));
        }
        fs::resize_file(path(name), size);
    }
};

} // namespace

TEST_F(ImgconvFaults, OddNamesQuotedExactlyForEveryFile) {
    const Bytes dump = testdata::numbered_records(16, 16);
    const std::string input = "in " + kOddName + ".ima";
    const std::string output = "out " + kOddName + ".hpi";
    const std::string report = "report " + kOddName + ".txt";
    write_file(input, dump);
    EXPECT_RUN("imgconv", with({input, output}, kOneTrack),
               Expected{0, kNoLif, "", {{output, dump}, {input, dump}}});
    EXPECT_RUN(
        "imgconv", with({"no " + input, output}, kOneTrack),
        Expected{kStatusMinusOne, "", "Could not open input file \"no " + input + "\".\n", {}});
    EXPECT_RUN("imgconv", with({input, "no dir " + kOddName + "/" + output}, kOneTrack),
               Expected{kStatusMinusOne,
                        kNoLif,
                        "Could not open output file \"no dir " + kOddName + "/" + output +
                            "\" for writing.\n",
                        {}});

    write_file(report, kTwoSectorReport);
    write_file(input, kTwoSectorDump);
    EXPECT_RUN("imgconv", {input, output, "-l", report},
               Expected{0,
                        kNoLif + "Using control file " + report + "...done.\n",
                        "",
                        {{output, kTwoSectorDump}, {report, kTwoSectorReport}}});
    EXPECT_RUN("imgconv", {input, output, "-l", "no " + report},
               Expected{kStatusMinusOne,
                        "",
                        "Could not open control file \"no " + report + "\".\n",
                        {{output, kTwoSectorDump}}});
    fs::create_directory(path("dir " + report));
    EXPECT_RUN("imgconv", {input, output, "-l", "dir " + report},
               Expected{kStatusMinusOne,
                        "",
                        "Could not open control file \"dir " + report + "\".\n",
                        {{output, kTwoSectorDump}}});

    if (e2e::windows_target())
        GTEST_SKIP() << "no /dev/full";
    const std::string full = "full " + kOddName + ".hpi";
    fs::create_symlink("/dev/full", path(full));
    EXPECT_RUN(
        "imgconv", {input, full, "-l", report},
        Expected{kStatusMinusOne,
                 kNoLif + "Using control file " + report + "...",
                 "Write error on file \"" + full + "\" " + testdata::error_number(ENOSPC) + "\n",
                 {}});
    EXPECT_RUN(
        "imgconv", with({input, full}, kOneTrack),
        Expected{kStatusMinusOne,
                 kNoLif + "Warning: input ends before record 2; missing bytes written as "
                          "zeros.\n",
                 // The image fails only at the close.
                 "Write error on file \"" + full + "\" " + testdata::error_number(ENOSPC) + "\n",
                 {}});
}

// The input and control file keep every byte under any name that leads to them.
TEST_F(ImgconvFaults, OutputThatIsTheControlFileOrTheInputUnderAnotherSpelling) {
    const std::string input = "in " + kOddName;
    write_file(input, kTwoSectorDump);
    write_file("report.txt", kTwoSectorReport);
    fs::create_hard_link(path("report.txt"), path("report-hard.txt"));
    for (const std::string same : {"report.txt", "./report.txt", "report-hard.txt"})
        EXPECT_RUN("imgconv", {input, same, "-l", "report.txt"},
                   Expected{kStatusMinusOne,
                            "",
                            "Output file \"" + same +
                                "\" is the control file \"report.txt\"; it is not overwritten.\n",
                            {{"report.txt", kTwoSectorReport}, {input, kTwoSectorDump}}});
    EXPECT_RUN("imgconv", {input, "./" + input, "-l", "report.txt"},
               Expected{kStatusMinusOne,
                        "",
                        "Output file \"./" + input + "\" is the input file \"" + input +
                            "\"; it is not overwritten.\n",
                        {{"report.txt", kTwoSectorReport}, {input, kTwoSectorDump}}});
}

// A sparse dump of 2 GiB and more: the record that ends just below 2^31 is
// read from its place; the next one lies past what a signed 32-bit seek
// reaches, although the dump holds bytes there, and ends the run.
TEST_F(ImgconvFaults, RecordPast2To31InADumpOfMoreThan2GiB) {
    constexpr uint64_t k2GiB = uint64_t{1} << 31;
    const Bytes below(1024, 'b');
    write_sparse("big.ima", k2GiB + 4096, k2GiB - 1024, below + Bytes(1024, 'p'));
    // Cylinder c lies at c * (1024 + 0x7FFFF800): 0, 2^31 - 1024, 2^32 - 2048.
    // The third cylinder fails the run: the earlier image stays as it was.
    std::vector<std::string> args = {"big.ima", "out.bin", "-r",     "1024",      "-c",
                                     "3",       "-h",      "1",      "-s",        "1",
                                     "-i",      "1",       "-cskip", "0x7FFFF800"};
    const Bytes earlier = "an earlier image";
    write_file("out.bin", earlier);
    EXPECT_RUN("imgconv", args,
               Expected{kStatusMinusOne, kNoLif, kSeekError, {{"out.bin", earlier}}});
    EXPECT_EQ(folder(), (std::vector<std::string>{"big.ima", "out.bin"}));
    // With the record at 2^31 - 1024 as the last one the run succeeds, and the
    // 4096 bytes past it, beyond 2^31, are counted as unread.
    args[5] = "2";
    EXPECT_RUN(
        "imgconv", args,
        Expected{
            0, kNoLif + testdata::unread_tail(4096), "", {{"out.bin", Bytes(1024, '\0') + below}}});
    fs::remove(path("big.ima"));
}

// ---- Inputs that must not stall a run --------------------------------------

TEST_F(ImgconvFaults, ReportWithoutTrackLinesOrWithOverlongLinesEnds) {
    write_file("dump.bin", kTwoSectorDump);
    // Only sector lines and text: no sector report; refused before any output.
    write_file("none.txt", "SECSCAN\n" + sector_line(0, 0, 0, 16) + sector_line(0, 0, 1, 16));
    EXPECT_RUN("imgconv", {"dump.bin", "out.hpi", "-l", "none.txt"},
               Expected{kStatusMinusOne,
                        "",
                        "Control file \"none.txt\" holds no TRACK line; it is not a sector "
                        "report.\n",
                        {{"out.hpi", std::nullopt}}});
    // Lines of 5000 bytes, and a last line of 100000 bytes without a line end,
    // are taken in pieces of at most 1023 bytes.
    write_file("long.txt", Bytes(5000, 'x') + "\n" + kTwoSectorReport + Bytes(100000, 'y'));
    EXPECT_RUN("imgconv", {"dump.bin", "out.hpi", "-l", "long.txt"},
               Expected{0,
                        kNoLif + "Using control file long.txt...done.\n",
                        "",
                        {{"out.hpi", kTwoSectorDump}}});
    write_file("one-line.txt", Bytes(200000, '\xFE'));
    EXPECT_RUN("imgconv", {"dump.bin", "out.hpi", "-l", "one-line.txt"},
               Expected{kStatusMinusOne,
                        "",
                        "Control file \"one-line.txt\" holds no TRACK line; it is not a sector "
                        "report.\n",
                        {{"out.hpi", kTwoSectorDump}}});
}

TEST_F(ImgconvFaults, RecordSizeZeroWithALifLookingDumpEnds) {
    // With no bytes per record nothing of the header is read, so no LIF is
    // seen: the default geometry gives records of no bytes.
    Bytes dump = testdata::numbered_records(8, 256);
    dump[0] = '\x80';
    dump[1] = '\x00';
    testdata::put_be32(dump, 8, 0x7FFFFFFF);  // directory start
    testdata::put_be32(dump, 16, 0x7FFFFFFF); // directory size
    testdata::put_be32(dump, 24, 0xFFFFFFFF); // tracks
    write_file("lif.ima", dump);
    EXPECT_RUN("imgconv", {"lif.ima", "out.bin", "-r", "0"},
               Expected{0, kNoLif, "", {{"out.bin", ""}, {"lif.ima", dump}}});
    write_file("report.txt", kTwoSectorReport);
    EXPECT_RUN("imgconv", {"lif.ima", "out.bin", "-r", "0", "-l", "report.txt"},
               Expected{0,
                        kNoLif + "Using control file report.txt...\nWarning: the last " +
                            std::to_string(dump.size() - 32) +
                            " bytes of the input were not read; the report may be cut short.\n"
                            "done.\n",
                        "",
                        {{"out.bin", dump.substr(0, 32)}}});
}

// A header whose directory lies far beyond the dump: the interleave scan reads
// record after record past the end and stops at the first one a 32-bit seek
// cannot reach (2^21 records of 1024 bytes).
TEST_F(ImgconvFaults, InterleaveScanStopsAtThe2GiBSeekLimit) {
    Bytes dump = testdata::lif_image(1, 1, 4, 1024, 1, 3);
    testdata::put_be32(dump, 8, 0x7FFFFFFF);
    write_file("lif.ima", dump);
    EXPECT_RUN(
        "imgconv", {"lif.ima", "out.bin"},
        Expected{kStatusMinusOne, "", kSeekError, {{"out.bin", std::nullopt}, {"lif.ima", dump}}});
}
