// Sector report columns and the rebuild of a disk from a report and its dump, run on real files.
#include "imgconv/imgconv.h"
#include "imgconv/report/control_file.h"
#include "imgconv/report/report_reader.h"
#include "imgconv/report/track_writer.h"

#include "capture.h"
#include "report_lines.h"

#include <gtest/gtest.h>

#include <bitset>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include <unistd.h>

using namespace imgconv;

namespace fs = std::filesystem;

namespace {

using Bytes = std::string;

constexpr size_t kRecordBufferBytes = 1024;

// The two ruler examples of a SECSCAN report, byte for byte.
const std::string kRulerTrackLine = "\xFE TRACK:          5            1      16";
const std::string kRulerSectorLine = " + Sector:    5    1     3      256";

// `count` bytes that tell sector `tag` apart from every other sector.
Bytes sector_data(int tag, size_t count) {
    Bytes b(count, '\0');
    for (size_t i = 0; i < count; ++i)
        b[i] = static_cast<char>((tag * 37 + i * 11 + (i >> 8)) & 0xFF);
    return b;
}

TrackLine track_of(const std::string& line) {
    return parse_track_line(line.data(), line.size());
}
SectorLine sector_of(const std::string& line) {
    return parse_sector_line(line.data(), line.size());
}

struct Result {
    int status = 0;
    std::string out;
    std::string err;
    Bytes image;
};

// Runs the conversion in-process on files written into a folder of the test's own.
class ControlFileRun : public ::testing::Test {
  protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        dir_ = fs::temp_directory_path() / ("hpkit-control-file-" + std::to_string(getpid())) /
               info->name();
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    void TearDown() override { fs::remove_all(dir_.parent_path()); }

    std::string path(const std::string& name) const { return (dir_ / name).string(); }

    void write_file(const std::string& name, const Bytes& data) const {
        std::ofstream f(dir_ / name, std::ios::binary);
        f.write(data.data(), static_cast<std::streamsize>(data.size()));
    }

    static Bytes read_path(const std::string& p) {
        std::ifstream f(p, std::ios::binary);
        std::ostringstream ss;
        ss << f.rdbuf();
        return ss.str();
    }

    // Converts `report` with `dump` into image.bin. Paths of other files
    // (a directory, /dev/full) can stand in for the control file and output.
    Result run_paths(const std::string& dump_path, const std::string& report_path,
                     const std::string& output_path, bool verbose,
                     uint32_t known_sectors = 0) const {
        FILE* input = std::fopen(dump_path.c_str(), "rb");
        FILE* control = std::fopen(report_path.c_str(), "rb");
        FILE* output = std::fopen(output_path.c_str(), "wb");
        EXPECT_TRUE(input && control && output);
        Result r;
        if (!input || !control || !output)
            return r;
        CapturedStream out, err;
        unsigned char record_buffer[kRecordBufferBytes] = {};
        r.status = convert_from_control_file({input, output, control, report_path.c_str(),
                                              output_path.c_str(), verbose, known_sectors,
                                              record_buffer, out.get(), err.get()});
        std::fclose(input);
        std::fclose(control);
        std::fclose(output);
        r.out = out.text();
        r.err = err.text();
        if (output_path != "/dev/full")
            r.image = read_path(output_path);
        return r;
    }

    Result run(const std::string& report, const Bytes& dump, bool verbose = false,
               uint32_t known_sectors = 0) const {
        write_file("report.txt", report);
        write_file("dump.bin", dump);
        return run_paths(path("dump.bin"), path("report.txt"), path("image.bin"), verbose,
                         known_sectors);
    }

    // What the conversion prints on a clean run, quiet or verbose.
    std::string using_line(bool verbose) const {
        return "Using control file " + path("report.txt") + "..." + (verbose ? "\n" : "");
    }

    fs::path dir_;
};

} // namespace

// ---- Report columns ------------------------------------------------------

TEST(ReportColumns, RulerExamplesReadTheirNumbers) {
    const TrackLine t = track_of(kRulerTrackLine);
    EXPECT_EQ(t.cylinder, 5u);
    EXPECT_EQ(t.head, 1u);
    EXPECT_EQ(t.reported_sectors, 16u);
    const SectorLine s = sector_of(kRulerSectorLine);
    EXPECT_EQ(s.cylID, 5u);
    EXPECT_EQ(s.headID, 1u);
    EXPECT_EQ(s.record, 3u);
    EXPECT_EQ(s.recsizeID, 256);
    // The test-side writer lays lines out exactly like the ruler.
    EXPECT_EQ(track_line(5, 1, 16), kRulerTrackLine + "\n");
    EXPECT_EQ(sector_line(5, 1, 3, 256), kRulerSectorLine + "\n");
}

TEST(ReportColumns, OnlyTheFieldColumnsAreRead) {
    // Every column outside the fields holds a digit: none of them counts.
    std::string t = kRulerTrackLine;
    std::string s = kRulerSectorLine;
    for (size_t i = 8; i < t.size(); ++i)
        if (!(i >= 17 && i <= 18) && !(i >= 30 && i <= 31) && !(i >= 38 && i <= 39))
            t[i] = '7';
    for (size_t i = 10; i < s.size(); ++i)
        if (!(i >= 13 && i <= 14) && i != 19 && !(i >= 24 && i <= 25) && !(i >= 32 && i <= 34))
            s[i] = '7';
    t += "999 trailing text 42\r\n";
    s += "999\r\n";
    EXPECT_EQ(track_of(t).cylinder, 5u);
    EXPECT_EQ(track_of(t).head, 1u);
    EXPECT_EQ(track_of(t).reported_sectors, 16u);
    EXPECT_EQ(sector_of(s).cylID, 5u);
    EXPECT_EQ(sector_of(s).headID, 1u);
    EXPECT_EQ(sector_of(s).record, 3u);
    EXPECT_EQ(sector_of(s).recsizeID, 256);
    // A number running into the next column is cut at its field's end.
    std::string wide = kRulerSectorLine;
    wide.replace(13, 3, "123"); // cylID field is columns 13-14
    EXPECT_EQ(sector_of(wide).cylID, 12u);
}

TEST(ReportColumns, BlanksSignAndDigitsUpToTheFieldEnd) {
    // Cylinder field of a TRACK line: columns 17-18.
    auto cylinder = [](const std::string& field) {
        std::string line = kRulerTrackLine;
        line.replace(17, 2, field);
        return track_of(line).cylinder;
    };
    EXPECT_EQ(cylinder("42"), 42u);
    EXPECT_EQ(cylinder(" 7"), 7u);
    EXPECT_EQ(cylinder("7 "), 7u);
    EXPECT_EQ(cylinder("+3"), 3u);
    EXPECT_EQ(cylinder("-3"), 0u - 3u); // wraps like any 32-bit number
    EXPECT_EQ(cylinder("  "), 0u);      // no digits
    EXPECT_EQ(cylinder("- "), 0u);
    EXPECT_EQ(cylinder("x5"), 0u); // not a blank, not a sign, not a digit
    EXPECT_EQ(cylinder("5x"), 5u);
    EXPECT_EQ(cylinder(std::string("\0"
                                   "5",
                                   2)),
              0u);

    // Size field of a sector line: columns 32-34, signed.
    auto size = [](const std::string& field) {
        std::string line = kRulerSectorLine;
        line.replace(32, 3, field);
        return sector_of(line).recsizeID;
    };
    EXPECT_EQ(size("999"), 999);
    EXPECT_EQ(size("-99"), -99);
    EXPECT_EQ(size(" -1"), -1);
    EXPECT_EQ(size("1 2"), 1);
    // Record field, columns 24-25: a minus sign wraps to a huge record number.
    std::string line = kRulerSectorLine;
    line.replace(24, 2, "-1");
    EXPECT_EQ(sector_of(line).record, 0xFFFFFFFFu);
}

TEST(ReportColumns, FieldsBeyondTheLineReadAsZero) {
    // The length given is what counts, not a terminating NUL: the bytes after
    // it are not part of the line.
    const std::string s = kRulerSectorLine;
    EXPECT_EQ(parse_sector_line(s.data(), 20).headID, 1u);
    EXPECT_EQ(parse_sector_line(s.data(), 20).record, 0u);
    EXPECT_EQ(parse_sector_line(s.data(), 34).recsizeID, 25); // the columns the line covers
    EXPECT_EQ(parse_sector_line(s.data(), 35).recsizeID, 256);
    EXPECT_EQ(parse_sector_line(s.data(), 0).cylID, 0u);
    const std::string t = kRulerTrackLine;
    const TrackLine cut = parse_track_line(t.data(), 32);
    EXPECT_EQ(cut.cylinder, 5u);
    EXPECT_EQ(cut.head, 1u);
    EXPECT_EQ(cut.reported_sectors, 0u);
    // The line's end is not content: a short size field reads alike with LF and CR LF.
    const std::string short_size = kRulerSectorLine.substr(0, 32) + "4";
    EXPECT_EQ(sector_of(short_size + "\n").recsizeID, 4);
    EXPECT_EQ(sector_of(short_size + "\r\n").recsizeID, 4);
    // NUL bytes inside a line are just other characters.
    std::string with_nul = kRulerSectorLine;
    with_nul[11] = '\0';
    EXPECT_EQ(sector_of(with_nul).recsizeID, 256);
}

// ---- Track layout --------------------------------------------------------

namespace {

std::bitset<kTrackSlots> records(const std::vector<uint32_t>& list) {
    std::bitset<kTrackSlots> set;
    for (uint32_t r : list)
        set.set(r);
    return set;
}

} // namespace

TEST(TrackLayout, EveryRecordInItsSlotAndEveryHoleNamed) {
    struct Case {
        const char* what;
        std::vector<uint32_t> kept; // in report order, repeats allowed
        uint32_t records_per_track, first_record;
        uint32_t first, count;
        std::vector<uint32_t> zero_filled, outside;
    };
    const Case cases[] = {
        {"clean", {2, 0, 1}, 3, 0, 0, 3, {}, {}},
        {"re-read sector", {0, 1, 1, 2}, 3, 0, 0, 3, {}, {}},
        {"record above the range", {0, 3, 1, 2}, 3, 0, 0, 3, {}, {3}},
        {"record below the range", {0, 1, 2}, 2, 1, 1, 2, {}, {0}},
        {"first and last lost", {3, 2}, 4, 1, 1, 4, {1, 4}, {}},
        {"nothing in the range", {7}, 3, 0, 0, 0, {}, {7}},
        {"cut at the last slot", {250, 255}, 16, 250, 250, 6, {251, 252, 253, 254}, {}},
        {"range of the last slot", {255, 254}, 1, 255, 255, 1, {}, {254}},
    };
    for (const Case& t : cases) {
        const TrackLayout l = lay_out_track(records(t.kept), t.records_per_track, t.first_record);
        EXPECT_EQ(l.first, t.first) << t.what;
        EXPECT_EQ(l.count, t.count) << t.what;
        EXPECT_EQ(l.zero_filled, records(t.zero_filled)) << t.what;
        EXPECT_EQ(l.outside, records(t.outside)) << t.what;
    }
}

// ---- Conversion ----------------------------------------------------------

TEST_F(ControlFileRun, WorkedExampleRecordsTwoZeroOne) {
    const std::string report = track_line(0, 0, 3) + sector_line(0, 0, 2, 256) +
                               sector_line(0, 0, 0, 256) + sector_line(0, 0, 1, 256);
    const Bytes dump = sector_data(0, 256) + sector_data(1, 256) + sector_data(2, 256);
    const Bytes image = dump.substr(256, 256) + dump.substr(512, 256) + dump.substr(0, 256);

    Result quiet = run(report, dump);
    EXPECT_EQ(quiet.status, 0);
    EXPECT_EQ(quiet.out, using_line(false));
    EXPECT_EQ(quiet.err, "");
    EXPECT_EQ(quiet.image, image);

    Result verbose = run(report, dump, true);
    EXPECT_EQ(verbose.status, 0);
    EXPECT_EQ(verbose.out, using_line(true) + "Processing cylinder=0 head=0 num_sectors=3\n");
    EXPECT_EQ(verbose.err, "");
    EXPECT_EQ(verbose.image, image);
}

TEST_F(ControlFileRun, SectorsPerTrackKnownBeforeTheWalkSetTheRecordsPerTrack) {
    // A track that lost its last record: only a figure known beforehand
    // ("-s", the LIF header) tells that it had one. One the store cannot hold
    // counts as unknown.
    const std::string report =
        track_line(0, 0, 2) + sector_line(0, 0, 0, 2) + sector_line(0, 0, 1, 2);
    Result known = run(report, "aabb", false, 3);
    EXPECT_EQ(known.out, using_line(false) +
                             "\nWarning: cylinder 0 head 0 record 2 not found; written as zeros.\n"
                             "Warning: 1 records written as zeros, 0 sectors not written, 0 "
                             "tracks not written.\n");
    EXPECT_EQ(known.image, Bytes("aabb") + Bytes(2, '\0'));
    Result too_many = run(report, "aabb", false, kTrackSlots + 1);
    EXPECT_EQ(too_many.out, using_line(false));
    EXPECT_EQ(too_many.image, "aabb");
}

// The run refuses such a report before it starts (see the end-to-end tests);
// the walk itself writes nothing and says that the dump was not read.
TEST_F(ControlFileRun, ReportWithoutTrackLineWritesNothing) {
    for (const std::string& report :
         {std::string(), std::string("heading\n\n"),
          // " TRACK:" without the 0xFE byte is no TRACK line.
          std::string(" TRACK:          0            0       1\n") + sector_line(0, 0, 0, 4)}) {
        Result r = run(report, "abcd", true);
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out, using_line(true) + "Warning: the last 4 bytes of the input were not read; "
                                            "the report may be cut short.\n");
        EXPECT_EQ(r.err, "");
        EXPECT_EQ(r.image, "");
    }
}

TEST_F(ControlFileRun, LinesBeforeTheFirstTrackTakeNoData) {
    const std::string report = "Sector report\n" + sector_line(0, 0, 0, 4) +
                               sector_line(0, 0, 1, 4) + track_line(0, 0, 1) + "other line\n" +
                               sector_line(0, 0, 0, 4);
    Result r = run(report, "ABCDefgh");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.image, "ABCD");
}

TEST_F(ControlFileRun, TracksBeforeCylinderZeroHeadZeroWriteNothing) {
    // Until the first track at cylinder 0, head 0 the sector size is 0, so
    // these sectors fail check 4, their data are read past and the track is
    // named as not written.
    const std::string report = track_line(1, 0, 2) + sector_line(1, 0, 0, 4) +
                               sector_line(1, 0, 1, 4) + track_line(0, 0, 2) +
                               sector_line(0, 0, 0, 4) + sector_line(0, 0, 1, 4);
    Result r = run(report, "aaaabbbbCCCCDDDD", true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, using_line(true) +
                         "recsizeID=4 doesn't match valid sector size=0\n"
                         "recsizeID=4 doesn't match valid sector size=0\n"
                         "Processing cylinder=1 head=0 num_sectors=0\n"
                         "Warning: cylinder 1 head 0 comes before the disk's format is known; not "
                         "written.\n"
                         "Processing cylinder=0 head=0 num_sectors=2\n"
                         "Warning: 0 records written as zeros, 0 sectors not written, 1 tracks not "
                         "written.\n");
    EXPECT_EQ(r.image, "CCCCDDDD");
}

TEST_F(ControlFileRun, EachFailingCheckIsReportedAndItsDataReadPast) {
    // Track size 2, sector size 4, first record 0. The second track carries a
    // neighbour's cylinder ID, a wrong head ID and a sector of another size;
    // the third reports three sectors, which rejects none: its record 0 is
    // kept and its missing record 1 written as zeros.
    const std::string report =
        track_line(0, 0, 2) + sector_line(0, 0, 0, 4) + sector_line(0, 0, 1, 4) +
        track_line(0, 1, 2) + sector_line(1, 1, 0, 4) + sector_line(0, 0, 0, 4) +
        sector_line(0, 1, 0, 8) + sector_line(0, 1, 0, 4) + sector_line(0, 1, 1, 4) +
        track_line(1, 0, 3) + sector_line(1, 0, 0, 4) + track_line(1, 1, 2) +
        sector_line(1, 1, 1, 4) + sector_line(1, 1, 0, 4);
    const Bytes dump = "0000"
                       "1111"
                       "xxxx"
                       "yyyy"
                       "zzzzzzzz"
                       "2222"
                       "3333"
                       "wwww"
                       "5555"
                       "4444";
    Result r = run(report, dump, true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, using_line(true) + "Processing cylinder=0 head=0 num_sectors=2\n"
                                        "cylID=1 doesn't match physical cylinder=0\n"
                                        "headID=0 doesn't match physical head=1\n"
                                        "recsizeID=8 doesn't match valid sector size=4\n"
                                        "Processing cylinder=0 head=1 num_sectors=2\n"
                                        "num sectors=3 doesn't match track size=2\n"
                                        "Processing cylinder=1 head=0 num_sectors=1\n"
                                        "Warning: cylinder 1 head 0 record 1 not found; written "
                                        "as zeros.\n"
                                        "Processing cylinder=1 head=1 num_sectors=2\n"
                                        "Warning: 1 records written as zeros, 0 sectors not "
                                        "written, 0 tracks not written.\n");
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.image, "0000111122223333"
                       "wwww" +
                           Bytes(4, '\0') + "44445555");
}

TEST_F(ControlFileRun, CheckFiveMessageRunsIntoTheNextOutput) {
    const std::string report = track_line(0, 0, 2) + sector_line(0, 0, 0, 2) +
                               sector_line(0, 0, 3, 2) + sector_line(0, 0, 1, 2) +
                               track_line(0, 1, 2) + sector_line(0, 1, 5, 2) +
                               sector_line(1, 1, 0, 2);
    Result r = run(report, "AAxxBBxxxx", true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, using_line(true) + "record=3 exceeds max record number=2"
                                        "Processing cylinder=0 head=0 num_sectors=2\n"
                                        "record=5 exceeds max record number=2"
                                        "cylID=1 doesn't match physical cylinder=0\n"
                                        "Processing cylinder=0 head=1 num_sectors=0\n");
    EXPECT_EQ(r.image, "AABB");
}

TEST_F(ControlFileRun, RecordsOneToNWithRecordNOnAnNSectorTrack) {
    const std::string report = track_line(0, 0, 3) + sector_line(0, 0, 3, 2) +
                               sector_line(0, 0, 1, 2) + sector_line(0, 0, 2, 2) +
                               track_line(0, 1, 3) + sector_line(0, 1, 2, 2) +
                               sector_line(0, 1, 3, 2) + sector_line(0, 1, 1, 2);
    Result r = run(report, "r3r1r2s2s3s1");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.image, "r1r2r3s1s2s3"); // slots 1 to 3 of each track
}

TEST_F(ControlFileRun, DuplicateRecordsBothCountAndTheLaterDataStay) {
    // Records 0, 1, 1 on a two-sector track (a re-read): both copies count
    // as stored, but the track still gives its two records, the later data in
    // slot 1.
    const std::string report = track_line(0, 0, 2) + sector_line(0, 0, 0, 2) +
                               sector_line(0, 0, 1, 2) + sector_line(0, 0, 1, 2);
    Result r = run(report, "aabbcc", true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, using_line(true) + "Processing cylinder=0 head=0 num_sectors=3\n");
    EXPECT_EQ(r.image, "aacc");
}

TEST_F(ControlFileRun, SlotsNotFilledByTheTrackAreZeroNotAnEarlierTracksData) {
    // Track 0/0 fills slots 0 and 1. Track 0/1 stores record 1 twice, so its
    // two records come from slot 0 (not filled by it) and slot 1.
    const std::string report = track_line(0, 0, 2) + sector_line(0, 0, 0, 3) +
                               sector_line(0, 0, 1, 3) + track_line(0, 1, 2) +
                               sector_line(0, 1, 1, 3) + sector_line(0, 1, 1, 3);
    Result r = run(report, "AAABBBCCCDDD");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.image, Bytes("AAABBB") + Bytes(3, '\0') + "DDD");
}

TEST_F(ControlFileRun, RejectedSectorStillLowersFirstRecord) {
    // Records 2 and 1 are kept; record 0 carries a neighbour's cylinder ID
    // and is rejected, yet it moves the first record to 0: the track holds
    // records 0 to 2, the empty slot 0 written as zeros.
    const std::string report = track_line(0, 0, 3) + sector_line(0, 0, 2, 2) +
                               sector_line(0, 0, 1, 2) + sector_line(1, 0, 0, 2);
    Result r = run(report, "r2r1xx", true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, using_line(true) + "cylID=1 doesn't match physical cylinder=0\n"
                                        "Processing cylinder=0 head=0 num_sectors=2\n"
                                        "Warning: cylinder 0 head 0 record 0 not found; written "
                                        "as zeros.\n"
                                        "Warning: 1 records written as zeros, 0 sectors not "
                                        "written, 0 tracks not written.\n");
    EXPECT_EQ(r.image, Bytes(2, '\0') + "r1r2");
}

TEST_F(ControlFileRun, TrackLineWithoutSectorsWritesNothing) {
    // An unreadable track moves the records after it up: it is named when the
    // next track is written. The one at the end of the report is not.
    const std::string report = track_line(0, 0, 1) + sector_line(0, 0, 0, 2) + track_line(0, 1, 1) +
                               track_line(1, 0, 1) + "\n" + sector_line(1, 0, 0, 2) +
                               track_line(1, 1, 1);
    Result r = run(report, "aabb", true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, using_line(true) + "Processing cylinder=0 head=0 num_sectors=1\n"
                                        "Processing cylinder=0 head=1 num_sectors=0\n"
                                        "Processing cylinder=1 head=0 num_sectors=1\n"
                                        "Warning: cylinder 0 head 1: nothing written for this "
                                        "track; the records after it move up by one track.\n"
                                        "Processing cylinder=1 head=1 num_sectors=0\n"
                                        "Warning: 0 records written as zeros, 0 sectors not "
                                        "written, 1 tracks not written.\n");
    EXPECT_EQ(r.image, "aabb");
}

TEST_F(ControlFileRun, CrLfLinesConvertLikeLfLines) {
    const std::string lf = "Report\n" + track_line(0, 0, 2) + sector_line(0, 0, 1, 3) +
                           sector_line(0, 0, 0, 3) + track_line(0, 1, 2) + sector_line(0, 1, 0, 3) +
                           sector_line(0, 1, 1, 3);
    std::string crlf;
    for (char c : lf) {
        if (c == '\n')
            crlf += '\r';
        crlf += c;
    }
    Result a = run(lf, "111000222333", true);
    Result b = run(crlf, "111000222333", true);
    EXPECT_EQ(a.status, 0);
    EXPECT_EQ(a.image, "000111222333");
    EXPECT_EQ(b.status, 0);
    EXPECT_EQ(b.out, a.out);
    EXPECT_EQ(b.image, a.image);
}

TEST_F(ControlFileRun, LostTracksBeyondTheNamedOnesAreCounted) {
    // 4096 unreadable tracks are named one by one; those beyond are counted.
    std::string report = track_line(0, 0, 1) + sector_line(0, 0, 0, 1);
    for (int i = 0; i < 4098; ++i)
        report += track_line(1, 0, 1);
    report += track_line(2, 0, 1) + sector_line(2, 0, 0, 1);
    std::string named;
    for (int i = 0; i < 4096; ++i)
        named += "Warning: cylinder 1 head 0: nothing written for this track; the records after "
                 "it move up by one track.\n";
    Result r = run(report, "ab");
    EXPECT_EQ(r.out, using_line(false) + "\n" + named +
                         "Warning: 2 more tracks: nothing written for them; the records after "
                         "them move up by 2 tracks.\n"
                         "Warning: 0 records written as zeros, 0 sectors not written, 4098 "
                         "tracks not written.\n");
    EXPECT_EQ(r.image, "ab");
}

TEST_F(ControlFileRun, LineLongerThan1023BytesIsSeveralLines) {
    // 1023 bytes fill the line buffer; the rest of the text line is read as
    // a line of its own and here is a sector line. A prefix that starts one
    // byte later lies inside the first piece and counts for nothing.
    const std::string report = track_line(0, 0, 2) + std::string(1023, '-') +
                               sector_line(0, 0, 1, 2) + std::string(1024, '-') +
                               sector_line(0, 0, 0, 2) + sector_line(0, 0, 0, 2);
    Result r = run(report, "bbaa", true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, using_line(true) + "Processing cylinder=0 head=0 num_sectors=2\n");
    EXPECT_EQ(r.image, "aabb");
}

TEST_F(ControlFileRun, NulBytesInLinesDoNotCutThem) {
    std::string with_nul = sector_line(0, 0, 1, 2);
    with_nul[11] = '\0'; // between prefix and first field
    const std::string report =
        track_line(0, 0, 2) + std::string("\0\0\n", 3) + with_nul + sector_line(0, 0, 0, 2);
    Result r = run(report, "bbaa");
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.image, "aabb");
}

TEST_F(ControlFileRun, WrittenRangeNeverPassesTheLastSlot) {
    // A two-sector track that lists record 0 three hundred times: every copy
    // goes to slot 0 and the last one stays. The track sets one record per
    // track, so the next track's record 1 lies outside its range.
    std::string report = track_line(0, 0, 2);
    Bytes dump;
    for (int i = 0; i < 300; ++i) {
        report += sector_line(0, 0, 0, 1);
        dump += static_cast<char>(i);
    }
    report += track_line(0, 1, 2) + sector_line(0, 1, 0, 1) + sector_line(0, 1, 1, 1);
    dump += "XY";
    Result r = run(report, dump, true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, using_line(true) +
                         "Processing cylinder=0 head=0 num_sectors=300\n"
                         "Processing cylinder=0 head=1 num_sectors=2\n"
                         "Warning: cylinder 0 head 1 record 1 is outside records 0 to 0; not "
                         "written.\n"
                         "Warning: 0 records written as zeros, 1 sectors not written, 0 tracks "
                         "not written.\n");
    EXPECT_EQ(r.image, Bytes(1, static_cast<char>(299)) + "X");
}

TEST_F(ControlFileRun, SectorBeforeAnyRecordNumberIsNotWritten) {
    // Before a track at cylinder 0, head 0 there is no first record: a
    // zero-sized record 0 on a track reporting no sectors passes the checks,
    // but its track comes before the disk's format is known.
    const std::string report = track_line(3, 0, 0) + sector_line(3, 0, 0, 0) + track_line(0, 0, 1) +
                               sector_line(0, 0, 0, 2);
    Result r = run(report, "ok", true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, using_line(true) +
                         "Processing cylinder=3 head=0 num_sectors=1\n"
                         "Warning: cylinder 3 head 0 comes before the disk's format is known; not "
                         "written.\n"
                         "Processing cylinder=0 head=0 num_sectors=1\n"
                         "Warning: 0 records written as zeros, 1 sectors not written, 1 tracks "
                         "not written.\n");
    EXPECT_EQ(r.image, "ok");
}

TEST_F(ControlFileRun, NegativeRecordIsRejectedByItsNumber) {
    const std::string report =
        track_line(0, 0, 1) + sector_line(0, 0, -1, 2) + sector_line(0, 0, 0, 2);
    Result r = run(report, "xxok", true);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out, using_line(true) + "record=4294967295 exceeds max record number=1"
                                        "Processing cylinder=0 head=0 num_sectors=1\n");
    EXPECT_EQ(r.image, "ok");
}

TEST_F(ControlFileRun, NegativeSizeEndsTheRunNamingTheLine) {
    const std::string report = "Report\n" + track_line(0, 0, 1) + sector_line(0, 0, 0, 2) +
                               track_line(0, 1, 1) + sector_line(0, 1, 0, -2) +
                               sector_line(0, 1, 0, 2);
    Result r = run(report, "aabb");
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, using_line(false));
    EXPECT_EQ(r.err,
              "Negative sector size -2 in line 5 of control file \"" + path("report.txt") + "\"\n");
    EXPECT_EQ(r.image, "aa"); // tracks before it stay written
}

TEST_F(ControlFileRun, NegativeSizeLineCountsTextLinesNotPieces) {
    const std::string report =
        track_line(0, 0, 1) + std::string(3000, '=') + "\n" + sector_line(0, 0, 0, -1);
    Result r = run(report, "");
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.err,
              "Negative sector size -1 in line 3 of control file \"" + path("report.txt") + "\"\n");
}

TEST_F(ControlFileRun, DumpShorterThanTheReport) {
    const std::string report = track_line(0, 0, 2) + sector_line(0, 0, 0, 4) +
                               sector_line(0, 0, 1, 4) + track_line(0, 1, 2) +
                               sector_line(0, 1, 0, 4) + sector_line(0, 1, 1, 4);
    Result r = run(report, "AAAABBBBCCCCDD", true); // ends inside the last sector
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, using_line(true) + "Processing cylinder=0 head=0 num_sectors=2\n");
    EXPECT_EQ(r.err, "Premature end of input data (exiting)\n");
    EXPECT_EQ(r.image, "AAAABBBB"); // the current track is not written

    // Rejected data count as well.
    Result rejected = run(track_line(0, 0, 1) + sector_line(1, 0, 0, 4), "AAA");
    EXPECT_EQ(rejected.status, -1);
    EXPECT_EQ(rejected.err, "Premature end of input data (exiting)\n");
}

TEST_F(ControlFileRun, DirectoryAsDumpIsAReadError) {
    write_file("report.txt", track_line(0, 0, 1) + sector_line(0, 0, 0, 4));
    fs::create_directory(path("dump-dir"));
    Result r = run_paths(path("dump-dir"), path("report.txt"), path("image.bin"), false);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, using_line(false));
    EXPECT_EQ(r.err, "Read error on input file\n");
    EXPECT_EQ(r.image, "");
}

TEST_F(ControlFileRun, DirectoryAsControlFileIsAReadErrorNotTheEnd) {
    fs::create_directory(path("report-dir"));
    write_file("dump.bin", "abcd");
    Result r = run_paths(path("dump.bin"), path("report-dir"), path("image.bin"), true);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, "Using control file " + path("report-dir") + "...\n");
    EXPECT_EQ(r.err,
              "Read error on control file \"" + path("report-dir") + "\" #21 (Is a directory)\n");
}

TEST_F(ControlFileRun, UnseekableDumpIsASeekError) {
    write_file("report.txt", track_line(0, 0, 1) + sector_line(0, 0, 0, 4));
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    FILE* input = fdopen(fds[0], "rb");
    FILE* control = std::fopen(path("report.txt").c_str(), "rb");
    FILE* output = std::fopen(path("image.bin").c_str(), "wb");
    ASSERT_TRUE(input && control && output);
    CapturedStream out, err;
    unsigned char record_buffer[kRecordBufferBytes] = {};
    const int status = convert_from_control_file({input, output, control, "report.txt", "image.bin",
                                                  false, 0, record_buffer, out.get(), err.get()});
    std::fclose(input);
    close(fds[1]);
    std::fclose(control);
    std::fclose(output);
    EXPECT_EQ(status, -1);
    EXPECT_EQ(out.text(), "Using control file report.txt...");
    EXPECT_EQ(err.text(), "Seek error #29 (Illegal seek)\n");
}

TEST_F(ControlFileRun, FullDiskIsAWriteErrorNeverDone) {
    // A small image sits in the stream's buffer until the final flush; a big
    // one fails on a write of its own. Either way the run fails.
    const std::string small = track_line(0, 0, 1) + sector_line(0, 0, 0, 4);
    write_file("small.txt", small);
    write_file("dump.bin", sector_data(1, 64 * 999));
    Result r = run_paths(path("dump.bin"), path("small.txt"), "/dev/full", false);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.out, "Using control file " + path("small.txt") + "...");
    EXPECT_EQ(r.err, "Write error on file \"/dev/full\" #28 (No space left on device)\n");

    std::string big = track_line(0, 0, 64);
    for (int i = 0; i < 64; ++i)
        big += sector_line(0, 0, i, 999);
    big += track_line(0, 1, 64) + sector_line(0, 1, 0, 999);
    write_file("big.txt", big);
    Result b = run_paths(path("dump.bin"), path("big.txt"), "/dev/full", true);
    EXPECT_EQ(b.status, -1);
    EXPECT_EQ(b.out, "Using control file " + path("big.txt") +
                         "...\nProcessing cylinder=0 head=0 num_sectors=64\n");
    EXPECT_EQ(b.err, "Write error on file \"/dev/full\" #28 (No space left on device)\n");
}

// ---- Round trip ----------------------------------------------------------

namespace {

// A disk of random content in HP record order and its geometry.
struct Disk {
    unsigned cylinders, heads, sectors, rec_size, first_record;
    Bytes image;
};

// Writes what a sector scan of `disk` would give: for each track its sectors
// in a random physical order, now and then a sector read from a neighbouring
// cylinder, and the dump of every listed sector in report order.
void scan_disk(const Disk& disk, std::mt19937& rng, std::string& report, Bytes& dump) {
    report = "Sector scan of a random disk\n\n";
    dump.clear();
    size_t next_record = 0;
    for (unsigned c = 0; c < disk.cylinders; ++c) {
        for (unsigned h = 0; h < disk.heads; ++h) {
            report += track_line(c, h, disk.sectors);
            std::vector<unsigned> order(disk.sectors);
            for (unsigned s = 0; s < disk.sectors; ++s)
                order[s] = s;
            std::shuffle(order.begin(), order.end(), rng);
            for (unsigned s : order) {
                if (rng() % 8 == 0) { // a stray sector of the next cylinder, same numbering
                    const unsigned record = disk.first_record + rng() % disk.sectors;
                    report += sector_line(c + 1, h, static_cast<int>(record), disk.rec_size);
                    dump += sector_data(static_cast<int>(rng()), disk.rec_size);
                }
                report += sector_line(c, h, static_cast<int>(s + disk.first_record),
                                      static_cast<int>(disk.rec_size));
                dump += disk.image.substr((next_record + s) * disk.rec_size, disk.rec_size);
            }
            next_record += disk.sectors;
        }
    }
}

} // namespace

TEST_F(ControlFileRun, RandomDisksComeBackByteForByte) {
    std::mt19937 rng(20261207);
    const unsigned sizes[] = {1, 128, 256, 512, 999};
    for (int round = 0; round < 40; ++round) {
        Disk disk;
        disk.cylinders = 1 + rng() % 6;
        disk.heads = 1 + rng() % 2;
        disk.sectors = 1 + rng() % 32;
        disk.rec_size = sizes[rng() % 5];
        disk.first_record = rng() % 2; // records 0..n-1 or 1..n
        disk.image.resize(size_t{disk.cylinders} * disk.heads * disk.sectors * disk.rec_size);
        for (char& b : disk.image)
            b = static_cast<char>(rng());
        std::string report;
        Bytes dump;
        scan_disk(disk, rng, report, dump);
        Result r = run(report, dump);
        ASSERT_EQ(r.status, 0) << "round " << round << ": " << r.err;
        ASSERT_EQ(r.image.size(), disk.image.size()) << "round " << round;
        ASSERT_TRUE(r.image == disk.image) << "round " << round;
        EXPECT_EQ(r.out, using_line(false));
    }
}

// ---- Whole runs ----------------------------------------------------------

namespace {

// Whether a descriptor of this process is open on `file`.
bool descriptor_open_on(const fs::path& file) {
    std::error_code ec;
    for (const auto& fd : fs::directory_iterator("/proc/self/fd", ec))
        if (fs::read_symlink(fd.path(), ec) == file)
            return true;
    return false;
}

// Read system calls of this process so far; -1 where the system keeps no count.
long long read_calls() {
    std::ifstream io("/proc/self/io");
    std::string key;
    long long value = 0;
    while (io >> key >> value)
        if (key == "syscr:")
            return value;
    return -1;
}

// A run's standard output that notes, when "done." arrives, whether the image
// file is still open.
struct DoneWatch {
    fs::path image;
    std::string text;
    bool image_open_at_done = false;
};

ssize_t watch_write(void* cookie, const char* bytes, size_t size) {
    auto* w = static_cast<DoneWatch*>(cookie);
    w->text.append(bytes, size);
    if (w->text.find("done.") != std::string::npos)
        w->image_open_at_done = w->image_open_at_done || descriptor_open_on(w->image);
    return static_cast<ssize_t>(size);
}

} // namespace

TEST_F(ControlFileRun, DoneOnlyOnceTheImageIsClosedAndTheDumpIsReadInLargeSteps) {
    // 256 sectors of 256 bytes on four tracks: one read call each if the dump
    // went unbuffered.
    std::string report;
    for (unsigned c = 0; c < 4; ++c) {
        report += track_line(c, 0, 64);
        for (int r = 0; r < 64; ++r)
            report += sector_line(c, 0, r, 256);
    }
    write_file("report.txt", report);
    const Bytes dump = sector_data(7, 256 * 256);
    write_file("dump.bin", dump);
    const std::string image_path = path("image.bin");
    std::vector<std::string> words = {"imgconv", path("dump.bin"), image_path, "-l",
                                      path("report.txt")};
    std::vector<char*> argv;
    for (auto& w : words)
        argv.push_back(w.data());

    DoneWatch watch{fs::path(image_path), "", false};
    FILE* out =
        fopencookie(&watch, "w", cookie_io_functions_t{nullptr, watch_write, nullptr, nullptr});
    ASSERT_NE(out, nullptr);
    std::setvbuf(out, nullptr, _IONBF, 0);
    CapturedStream err;
    const long long calls_before = read_calls();
    const int status = run_imgconv(static_cast<int>(argv.size()), argv.data(), out, err.get());
    const long long calls = read_calls() - calls_before;
    std::fclose(out);

    EXPECT_EQ(status, 0) << err.text();
    const Bytes image = read_path(image_path);
    EXPECT_EQ(image.size(), dump.size());
    EXPECT_TRUE(image == dump);
    EXPECT_NE(watch.text.find("...done.\n"), std::string::npos) << watch.text;
    EXPECT_FALSE(watch.image_open_at_done);
    if (calls_before >= 0) { // dump, report and record 0 in a few 64 KiB and 4 KiB steps
        EXPECT_LT(calls, 32) << calls << " read calls";
    }
}
