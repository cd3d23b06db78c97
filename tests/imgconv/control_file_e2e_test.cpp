// imgconv run as a program: rebuilding from a sector report, and the matchlist skew search.
#include "e2e.h"
#include "imgconv_test_data.h"
#include "report_lines.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

namespace {

using e2e::Bytes;

const Bytes kNoLif = "Warning: no LIF file\n"
                     "Unable to perform auto-detection of media parameters (using defaults)\n";

// `count` bytes of sector `tag`; never starts with the LIF identifier 0x80.
Bytes sector_data(int tag, size_t count) {
    Bytes b(count, '\0');
    for (size_t i = 0; i < count; ++i)
        b[i] = static_cast<char>((tag * 53 + i * 13 + 1) & 0x7F);
    return b;
}

// The worked report: one track at cylinder 0, head 0 listing records 2, 0, 1.
const std::string kWorkedReport = "Sector report\n" + track_line(0, 0, 3) +
                                  sector_line(0, 0, 2, 256) + sector_line(0, 0, 0, 256) +
                                  sector_line(0, 0, 1, 256);

class ControlFileProgram : public e2e::Test {
  protected:
    // Writes the worked report and its dump; returns the image it must give.
    Bytes write_worked_example() const {
        const Bytes dump = sector_data(0, 256) + sector_data(1, 256) + sector_data(2, 256);
        write_file("report.txt", kWorkedReport);
        write_file("dump.bin", dump);
        return dump.substr(256, 256) + dump.substr(512, 256) + dump.substr(0, 256);
    }
};

} // namespace

TEST_F(ControlFileProgram, WorkedExampleQuietAndVerbose) {
    const Bytes image = write_worked_example();
    EXPECT_RUN(
        "imgconv", {"dump.bin", "disk.hpi", "-l", "report.txt"},
        e2e::Expected{
            0, kNoLif + "Using control file report.txt...done.\n", "", {{"disk.hpi", image}}});
    EXPECT_RUN("imgconv", {"-v", "dump.bin", "-l", "report.txt", "disk2.hpi"},
               e2e::Expected{0,
                             kNoLif + "Using tracks=33 heads=2 sectors=16 interleave=2\n"
                                      "Using control file report.txt...\n"
                                      "Processing cylinder=0 head=0 num_sectors=3\n"
                                      "done.\n",
                             "",
                             {{"disk2.hpi", image}}});
}

TEST_F(ControlFileProgram, GeometryOptionsPlayNoPart) {
    // Of the geometry only the sectors per track count, as records per
    // track: equal to the report's, they change nothing; one more adds a
    // record of zeros to each track.
    const Bytes image = write_worked_example();
    EXPECT_RUN(
        "imgconv", {"dump.bin", "-c", "2",  "-h", "1",   "-s", "3",         "-r", "16",
                    "-j",       "8",  "-i", "3",  "-cs", "1",  "-hs",       "1",  "-cskip",
                    "100",      "-m", "1",  "0",  "5",   "-l", "report.txt"},
        e2e::Expected{
            0, kNoLif + "Using control file report.txt...done.\n", "", {{"image.bin", image}}});
    EXPECT_RUN("imgconv", {"dump.bin", "four.hpi", "-s", "4", "-l", "report.txt"},
               e2e::Expected{0,
                             kNoLif + "Using control file report.txt...\n"
                                      "Warning: cylinder 0 head 0 record 3 not found; written as "
                                      "zeros.\n"
                                      "Warning: 1 records written as zeros, 0 sectors not "
                                      "written, 0 tracks not written.\n"
                                      "done.\n",
                             "",
                             {{"four.hpi", image + Bytes(256, '\0')}}});
}

TEST_F(ControlFileProgram, DamagedReportKeepsEveryRecordInItsPlace) {
    // Three records of 16 bytes per track. Track 0/1 lost record 1, read
    // record 0 twice and met a stray sector of cylinder 1; track 1/0 could
    // not be read; track 1/1 carries a record 3 and is listed twice; a
    // track of another format ends the scan.
    const std::string report =
        "Sector report\n" + track_line(0, 0, 3) + sector_line(0, 0, 0, 16) +
        sector_line(0, 0, 1, 16) + sector_line(0, 0, 2, 16) + track_line(0, 1, 3) +
        sector_line(0, 1, 2, 16) + sector_line(0, 1, 0, 16) + sector_line(1, 1, 1, 16) +
        sector_line(0, 1, 0, 16) + track_line(1, 0, 0) + track_line(1, 1, 3) +
        sector_line(1, 1, 0, 16) + sector_line(1, 1, 3, 16) + sector_line(1, 1, 1, 16) +
        sector_line(1, 1, 2, 16) + track_line(1, 1, 3) + sector_line(1, 1, 0, 16) +
        sector_line(1, 1, 1, 16) + sector_line(1, 1, 2, 16) + track_line(2, 0, 2) +
        sector_line(2, 0, 1, 32) + sector_line(2, 0, 2, 32);
    // Sector line n of the report holds sector_data(n); the foreign track's
    // two 32-byte sectors are the last 64 bytes.
    Bytes dump;
    for (int tag = 0; tag < 14; ++tag)
        dump += sector_data(tag, 16);
    dump += sector_data(14, 64);
    write_file("report.txt", report);
    write_file("dump.bin", dump);
    auto sector = [&](int tag) { return dump.substr(size_t(tag) * 16, 16); };
    const Bytes image = sector(0) + sector(1) + sector(2) + sector(6) + Bytes(16, '\0') +
                        sector(3) + sector(7) + sector(9) + sector(10) + sector(11) + sector(12) +
                        sector(13);
    const Bytes zeros = "Warning: cylinder 0 head 1 record 1 not found; written as zeros.\n";
    const Bytes lost = "Warning: cylinder 1 head 0: nothing written for this track; the records "
                       "after it move up by one track.\n";
    const Bytes outside =
        "Warning: cylinder 1 head 1 record 3 is outside records 0 to 2; not written.\n";
    const Bytes again = "Warning: cylinder 1 head 1 appears again in the report; written again, "
                        "so the records after it move down by one track.\n";
    const Bytes summary =
        "Warning: 1 records written as zeros, 1 sectors not written, 1 tracks not written.\n";
    EXPECT_RUN("imgconv", {"dump.bin", "quiet.hpi", "-l", "report.txt"},
               e2e::Expected{0,
                             kNoLif + "Using control file report.txt...\n" + zeros + lost +
                                 outside + again + summary + "done.\n",
                             "",
                             {{"quiet.hpi", image}}});
    const Bytes foreign_size = "recsizeID=32 doesn't match valid sector size=16\n";
    EXPECT_RUN("imgconv", {"dump.bin", "verbose.hpi", "-l", "report.txt", "-v"},
               e2e::Expected{
                   0,
                   kNoLif +
                       "Using tracks=33 heads=2 sectors=16 interleave=2\n"
                       "Using control file report.txt...\n"
                       "Processing cylinder=0 head=0 num_sectors=3\n"
                       "cylID=1 doesn't match physical cylinder=0\n"
                       "Processing cylinder=0 head=1 num_sectors=3\n" +
                       zeros +
                       "num sectors=0 doesn't match track size=3\n"
                       "Processing cylinder=1 head=0 num_sectors=0\n"
                       "Processing cylinder=1 head=1 num_sectors=4\n" +
                       lost + outside + "Processing cylinder=1 head=1 num_sectors=3\n" + again +
                       "num sectors=2 doesn't match track size=3\n" + foreign_size + foreign_size +
                       "Processing cylinder=2 head=0 num_sectors=0\n" + summary + "done.\n",
                   "",
                   {{"verbose.hpi", image}}});
}

TEST_F(ControlFileProgram, LifDumpQuietRunPrintsOneLine) {
    // Record 0 is a LIF volume header; with the interleave given no record
    // after it is read by the probe, and a quiet run shows a single line.
    Bytes header = sector_data(7, 256);
    header[0] = '\x80';
    header[1] = '\0';
    const Bytes other = sector_data(8, 256);
    write_file("lif.bin", header + other);
    write_file("report.txt",
               track_line(0, 0, 2) + sector_line(0, 0, 0, 256) + sector_line(0, 0, 1, 256));
    EXPECT_RUN(
        "imgconv", {"lif.bin", "out.hpi", "-i", "1", "-l", "report.txt"},
        e2e::Expected{
            0, "Using control file report.txt...done.\n", "", {{"out.hpi", header + other}}});
}

TEST_F(ControlFileProgram, RejectedSectorsAndCheckFiveThroughTheProgram) {
    const std::string report = track_line(0, 0, 2) + sector_line(0, 0, 0, 4) +
                               sector_line(1, 0, 1, 4) + sector_line(0, 0, 3, 4) +
                               sector_line(0, 0, 1, 4) + track_line(0, 1, 2) +
                               sector_line(0, 1, 1, 4) + sector_line(0, 1, 0, 4);
    write_file("report.txt", report);
    write_file("dump.bin", "AAAAxxxxyyyyBBBBDDDDCCCC");
    EXPECT_RUN("imgconv", {"dump.bin", "out.hpi", "-l", "report.txt", "-v"},
               e2e::Expected{0,
                             kNoLif + "Using tracks=33 heads=2 sectors=16 interleave=2\n"
                                      "Using control file report.txt...\n"
                                      "cylID=1 doesn't match physical cylinder=0\n"
                                      "record=3 exceeds max record number=2"
                                      "Processing cylinder=0 head=0 num_sectors=2\n"
                                      "Processing cylinder=0 head=1 num_sectors=2\n"
                                      "done.\n",
                             "",
                             {{"out.hpi", "AAAABBBBCCCCDDDD"}}});
}

TEST_F(ControlFileProgram, DumpShorterThanTheReport) {
    write_file("report.txt", track_line(0, 0, 1) + sector_line(0, 0, 0, 256) + track_line(0, 1, 1) +
                                 sector_line(0, 1, 0, 256));
    const Bytes dump = sector_data(1, 256) + sector_data(2, 100);
    write_file("dump.bin", dump);
    // The first track already written is not left behind as an output.
    EXPECT_RUN("imgconv", {"dump.bin", "out.hpi", "-l", "report.txt"},
               e2e::Expected{e2e::kStatusMinusOne,
                             kNoLif + "Using control file report.txt...",
                             "Premature end of input data (exiting)\n",
                             {{"out.hpi", std::nullopt}}});
    EXPECT_EQ(folder(), (std::vector<std::string>{"dump.bin", "report.txt"}));
}

TEST_F(ControlFileProgram, NegativeSizeEndsTheRun) {
    write_file("report.txt", track_line(0, 0, 1) + sector_line(0, 0, 0, -4));
    write_file("dump.bin", sector_data(1, 256));
    // An earlier image keeps its bytes.
    write_file("out.hpi", "an earlier image");
    EXPECT_RUN("imgconv", {"dump.bin", "out.hpi", "-l", "report.txt"},
               e2e::Expected{e2e::kStatusMinusOne,
                             kNoLif + "Using control file report.txt...",
                             "Negative sector size -4 in line 2 of control file \"report.txt\"\n",
                             {{"out.hpi", "an earlier image"}}});
    EXPECT_EQ(folder(), (std::vector<std::string>{"dump.bin", "out.hpi", "report.txt"}));
}

// Under Wine the Windows build's "/dev/full" is the same device, full alike.
TEST_F(ControlFileProgram, FullDiskIsNeverDone) {
    write_worked_example();
    EXPECT_RUN(
        "imgconv", {"dump.bin", "/dev/full", "-l", "report.txt"},
        e2e::Expected{e2e::kStatusMinusOne,
                      kNoLif + "Using control file report.txt...",
                      "Write error on file \"/dev/full\" " + testdata::error_number(ENOSPC) + "\n",
                      {}});
}

// ---- Matchlist skew search through the program --------------------------

namespace {

// The small worked geometry: 2 cylinders, 2 heads, 4 sectors of 16 bytes,
// 8 bytes of junk per track, interleave 2, cylinder skip 100, head skip 10.
const std::vector<std::string> kWorkedGeometry = {"-c",     "2",   "-h",     "2",  "-s", "4",
                                                  "-r",     "16",  "-j",     "8",  "-i", "2",
                                                  "-cskip", "100", "-hskip", "10", "-v"};

// A dump exactly as long as the worked geometry reads, junk of the last
// track included (4 tracks of 72 bytes, one cylinder and one head skip); not LIF.
Bytes worked_dump() {
    Bytes d(398, '\0');
    for (size_t i = 0; i < d.size(); ++i)
        d[i] = static_cast<char>((i * 7 + 1) & 0xFF);
    return d;
}

// The image made of the 16-byte records at these dump offsets, in order.
Bytes records_at(const Bytes& dump, std::initializer_list<size_t> offsets) {
    Bytes image;
    for (size_t o : offsets)
        image += dump.substr(o, 16);
    return image;
}

std::vector<std::string> with(std::vector<std::string> a, const std::vector<std::string>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

} // namespace

TEST_F(ControlFileProgram, MatchlistFindsBothSkewsOnCylinderOne) {
    const Bytes dump = worked_dump();
    write_file("dump.bin", dump);
    // Skews 1 and 1: the offsets of all sixteen records, worked by hand.
    const Bytes image =
        records_at(dump, {0, 32, 16, 48, 98, 130, 114, 82, 276, 244, 292, 260, 374, 342, 326, 358});
    EXPECT_RUN("imgconv",
               with({"dump.bin", "out.hpi", "-m", "2", "6", "114", "13", "342"}, kWorkedGeometry),
               e2e::Expected{0,
                             kNoLif + "Using tracks=2 heads=2 sectors=4 interleave=2\n"
                                      "found matching cskew=1 tskew=1\n"
                                      "using cylinder skew=1 head skew=1\n",
                             "",
                             {{"out.hpi", image}}});
}

TEST_F(ControlFileProgram, MatchlistOnCylinderZeroLeavesCylinderSkewOpen) {
    const Bytes dump = worked_dump();
    write_file("dump.bin", dump);
    // Cylinder skew 0, head skew 1: track t = 2c + h turns by c + h slots.
    const Bytes image =
        records_at(dump, {0, 32, 16, 48, 98, 130, 114, 82, 260, 292, 276, 244, 358, 326, 374, 342});
    EXPECT_RUN("imgconv",
               with({"dump.bin", "out.hpi", "-m", "2", "0", "0", "4", "98"}, kWorkedGeometry),
               e2e::Expected{0,
                             kNoLif + "Using tracks=2 heads=2 sectors=4 interleave=2\n"
                                      "found matching cskew=0 tskew=1\n"
                                      "found matching cskew=1 tskew=1\n"
                                      "found matching cskew=2 tskew=1\n"
                                      "found matching cskew=3 tskew=1\n"
                                      "using cylinder skew=0 head skew=1\n",
                             "",
                             {{"out.hpi", image}}});
}

TEST_F(ControlFileProgram, MatchlistCountsZeroAndNegativeFindNothing) {
    const Bytes dump = worked_dump();
    write_file("dump.bin", dump);
    const Bytes unskewed =
        records_at(dump, {0, 32, 16, 48, 82, 114, 98, 130, 244, 276, 260, 292, 326, 358, 342, 374});
    const Bytes out = kNoLif + "Using tracks=2 heads=2 sectors=4 interleave=2\n"
                               "using cylinder skew=0 head skew=0\n";
    EXPECT_RUN("imgconv", with({"dump.bin", "a.hpi", "-m", "0"}, kWorkedGeometry),
               e2e::Expected{0, out, "", {{"a.hpi", unskewed}}});
    const Bytes none_found = kNoLif + "Using tracks=2 heads=2 sectors=4 interleave=2\n"
                                      "Warning: no skew pair places every matchlist record.\n"
                                      "using cylinder skew=0 head skew=0\n";
    EXPECT_RUN("imgconv", with({"dump.bin", "b.hpi", "-m", "-1"}, kWorkedGeometry),
               e2e::Expected{0, none_found, "", {{"b.hpi", unskewed}}});
    // Head skew given, cylinder skew searched: the given one stays.
    EXPECT_RUN("imgconv",
               with({"dump.bin", "c.hpi", "-hs", "0", "-m", "2", "6", "114", "13", "342"},
                    kWorkedGeometry),
               e2e::Expected{0,
                             kNoLif + "Using tracks=2 heads=2 sectors=4 interleave=2\n"
                                      "found matching cskew=1 tskew=1\n"
                                      "using cylinder skew=1 head skew=0\n",
                             "",
                             {}});
}

TEST_F(ControlFileProgram, MatchlistWithNoHeadsFindsNothing) {
    const Bytes dump = worked_dump();
    write_file("dump.bin", dump);
    // "-h 0" on a non-LIF dump becomes the default of 2 heads, so the
    // division by zero can only come from a LIF header with 0 surfaces.
    Bytes header(256, '\0');
    header[0] = '\x80';
    header[35] = 4; // sectors per track 4; tracks and surfaces 0
    write_file("lif.bin", header);
    EXPECT_RUN("imgconv", {"lif.bin", "out.hpi", "-i", "1", "-m", "1", "0", "0", "-v"},
               e2e::Expected{0,
                             "LIF detected: dirstart=0 dirsize=0 datastart=0\n"
                             "Using tracks=0 heads=0 sectors=4 interleave=1\n"
                             "Warning: no skew pair places every matchlist record.\n"
                             "using cylinder skew=0 head skew=0\n"
                             // The driver's own note on a geometry without records.
                             "Warning: geometry gives no records (cylinders=0 heads=0 sectors=4).\n"
                             "Warning: give the geometry with -c, -h and -s.\n",
                             "",
                             {{"out.hpi", ""}}});
}
