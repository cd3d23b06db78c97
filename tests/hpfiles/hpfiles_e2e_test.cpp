// hpfiles on small LIF and 9845 disks and a damaged capture, every channel checked at once.
#include "disk_builder.h"
#include "e2e.h"

#include <filesystem>
#include <string>
#include <vector>

namespace {

using e2e::Bytes;
using e2e::Expected;
using e2e::kStatusMinusOne;
using hpfiles_test::bcd_date;
using hpfiles_test::hp9845_type_word;
using hpfiles_test::Hp9845Disk;
using hpfiles_test::Hp9845Entry;
using hpfiles_test::LifDisk;
using hpfiles_test::LifEntry;

constexpr size_t kRecord = 256;

Bytes bytes(const hpfiles_test::Bytes& b) {
    return Bytes(b.begin(), b.end());
}
hpfiles_test::Bytes raw(const Bytes& s) {
    return hpfiles_test::Bytes(s.begin(), s.end());
}
// `count` bytes counting up from `first`, so that every record of a file differs.
Bytes counting(int first, size_t count) {
    Bytes b;
    for (size_t i = 0; i < count; ++i)
        b += static_cast<char>((first + i) & 0xFF);
    return b;
}
Bytes record(const Bytes& start) {
    return start + Bytes(kRecord - start.size(), '\0');
}

// LIF TEXT: "HELLO", an empty record, "HI", end.
const Bytes kLifText =
    record(e2e::bytes_of({0, 5}) + "HELLO" + e2e::bytes_of({0, 0xFF, 0xFE, 0, 2}) + "HI" +
           e2e::bytes_of({0xFF, 0xFF}));
// HP-85 DATA in 16-byte logical records: "ABC", then a 12-character string
// cut at the record's end and finished in the next record; the rest unused.
const Bytes kHp85Items = e2e::bytes_of({0xDF, 3, 0}) + "ABC" + e2e::bytes_of({0xCF, 12, 0}) +
                         "1234567" + e2e::bytes_of({0x6F, 5, 0}) + "890AB" + e2e::bytes_of({0xEF});
const Bytes kHp85Data = kHp85Items + Bytes(kRecord - kHp85Items.size(), '\xFF');

// A small LIF volume: a TEXT file, a purged entry, an HP-85 DATA file named
// with a slash, a name with blanks, two names that differ only in case and a
// file that runs past the end of the 12-record image.
Bytes lif_disk() {
    return bytes(LifDisk(12)
                     .entry(LifEntry{"NOTES", 0x0001, 3, 1, bcd_date(86, 5, 17, 12, 30, 0)})
                     .entry(LifEntry{"OLD", 0x0000, 4, 1})
                     .entry(LifEntry{"A/B", 0xE010, 5, 1}.hp85(0, 16))
                     .entry(LifEntry{" sp ace", 0xE020, 6, 1}.hp85(100, 256))
                     .entry(LifEntry{"Same", 0xE020, 7, 1})
                     .entry(LifEntry{"SAME", 0xE020, 8, 1})
                     .entry(LifEntry{"BIG", 0xE014, 10, 4})
                     .bytes_at(3, raw(kLifText))
                     .bytes_at(4, raw(counting(4, kRecord)))
                     .bytes_at(5, raw(kHp85Data))
                     .bytes_at(6, raw(counting(6, kRecord)))
                     .bytes_at(7, raw(counting(7, kRecord)))
                     .bytes_at(8, raw(counting(8, kRecord)))
                     .bytes_at(10, raw(counting(10, 2 * kRecord)))
                     .image());
}

Bytes lif_record(size_t n, size_t count = 1) {
    return lif_disk().substr(n * kRecord, count * kRecord);
}

// A 9845 DATA file of two records: "ABC" with its pad byte, the integer -2, a
// 245-character string split at the record's end, then the end of file.
const Bytes kSplit = counting('!', 94) + counting('!', 94) + counting('!', 57);
Bytes data9845() {
    return record(e2e::bytes_of({0, 0x3C, 0, 3}) + "ABC" + "Z" +
                  e2e::bytes_of({0, 0x0A, 0xFF, 0xFE}) + e2e::bytes_of({0, 0x1C, 0, 245}) +
                  kSplit.substr(0, 240)) +
           record(e2e::bytes_of({0, 0x2C, 0, 5}) + kSplit.substr(240) + "Z" +
                  e2e::bytes_of({0, 0x3E}));
}
Bytes hp9845_disk() {
    return bytes(Hp9845Disk()
                     .entry(Hp9845Entry{"DATA1", 16, 2})
                     .free_extent(18, 46)
                     .bytes_at(16, raw(data9845()))
                     .image());
}

const Bytes kTsvHeading = "name\ttype\tcode\tstart\trecords\tbytes\treclen\tdate\tnotes\n";

class Hpfiles : public e2e::Test {
  protected:
    void SetUp() override {
        e2e::Test::SetUp();
        write_file("disk.lif", lif_disk());
        write_file("disk.hpi", hp9845_disk());
    }
};

TEST_F(Hpfiles, ListTsvGivesEveryEntryOfBothFileSystems) {
    EXPECT_RUN("hpfiles", {"list", "disk.lif", "--tsv"},
               Expected{0,
                        kTsvHeading + "NOTES\tTEXT\t0001\t3\t1\t256\t256\t1986-05-17 12:30:00\t\n"
                                      "OLD\tpurged\t0000\t4\t1\t256\t256\t\tpurged\n"
                                      "A/B\tDATA\tE010\t5\t1\t256\t16\t\t\n"
                                      " sp ace\tPROG\tE020\t6\t1\t100\t256\t\t\n"
                                      "Same\tPROG\tE020\t7\t1\t256\t256\t\t\n"
                                      "SAME\tPROG\tE020\t8\t1\t256\t256\t\t\n"
                                      "BIG\t?E014\tE014\t10\t4\t1024\t256\t\tpast the end of "
                                      "the disk\n",
                        "",
                        {}});
    // The capture options mean nothing to an image; a warning says so and the listing is clean.
    EXPECT_RUN("hpfiles", {"list", "-s", "16", "disk.hpi", "--tsv"},
               Expected{0,
                        kTsvHeading + "DATA1\tDATA\t2400\t16\t2\t512\t256\t\t\n",
                        "Warning: disk \"disk.hpi\" is an HP-order image, not a capture; -c, -h "
                        "and -s have no effect.\n",
                        {}});
}

TEST_F(Hpfiles, GetWritesWholeRecordsUnderPlainDistinctNames) {
    std::filesystem::create_directory(path("out"));
    EXPECT_RUN("hpfiles", {"get", "disk.lif", "-o", "out"},
               Expected{0,
                        "NOTES      TEXT        256 bytes  NOTES.TEXT\n"
                        "A/B        DATA        256 bytes  A_B.DATA\n"
                        " sp ace    PROG        256 bytes  _sp_ace.PROG\n"
                        "Same       PROG        256 bytes  Same.PROG\n"
                        "SAME       PROG        256 bytes  SAME.2.PROG\n"
                        "BIG        ?E014       512 bytes  BIG._E014\n",
                        "Warning: file \"BIG\": 2 of its 4 records lie past the end of the disk; "
                        "the 2 that exist are written.\n",
                        {{"out/NOTES.TEXT", lif_record(3)},
                         {"out/OLD.purged", std::nullopt},
                         {"out/A_B.DATA", lif_record(5)},
                         {"out/_sp_ace.PROG", lif_record(6)},
                         {"out/Same.PROG", lif_record(7)},
                         {"out/SAME.2.PROG", lif_record(8)},
                         {"out/BIG._E014", lif_record(10, 2)}}});
    // Names as list shows them, a purged entry on request, and a name that
    // matches nothing: the others are written, the run fails.
    EXPECT_RUN("hpfiles", {"get", "disk.lif", "--purged", "--", "\\x20sp ace", "OLD", "-x"},
               Expected{kStatusMinusOne,
                        " sp ace    PROG        256 bytes  _sp_ace.PROG\n"
                        "OLD        purged      256 bytes  OLD.purged\n",
                        "File \"-x\" is not on disk \"disk.lif\".\n",
                        {{"_sp_ace.PROG", lif_record(6)}, {"OLD.purged", lif_record(4)}}});
    // A file in the system tracks is written, with a warning.
    const Bytes sys = bytes(Hp9845Disk()
                                .entry(Hp9845Entry{"SYS", 5, 1, 128, hp9845_type_word(6, 16)})
                                .free_extent(16, 48)
                                .image());
    write_file("sys.hpi", sys);
    EXPECT_RUN("hpfiles", {"get", "sys.hpi"},
               Expected{0,
                        "SYS        PROG        256 bytes  SYS.PROG\n",
                        "Warning: the files (1 record) and the free table (48 records) do not "
                        "make up the data area (48 records).\n"
                        "Warning: file \"SYS\" starts in the system area; it is written as it "
                        "lies on the disk.\n",
                        {{"SYS.PROG", sys.substr(5 * kRecord, kRecord)}}});
}

TEST_F(Hpfiles, FailuresWriteNothing) {
    write_file("zero.bin", Bytes(2 * kRecord, '\0'));
    write_file("A_B.DATA", lif_disk());
    write_file("twins.lif", bytes(LifDisk(8)
                                      .entry(LifEntry{"TWIN", 0xE020, 3, 1})
                                      .entry(LifEntry{"TWIN", 0xE020, 4, 1})
                                      .image()));
    struct Case {
        std::vector<std::string> args;
        Bytes err;
    };
    const Case cases[] = {
        {{"list", "zero.bin"},
         "Disk \"zero.bin\" holds neither a LIF volume nor an HP 9845 file system.\n"},
        {{"get", "disk.lif", "-o", "nosuch"}, "Output folder \"nosuch\" does not exist.\n"},
        {{"get", "disk.lif", "OLD"}, "File \"OLD\" is not on disk \"disk.lif\".\n"},
        {{"get", "twins.lif", "TWIN", "-o", "."},
         "Warning: 2 files in the directory are named \"TWIN\"; get cannot choose between "
         "them by name.\n"
         "File name \"TWIN\" fits more than one entry on disk \"twins.lif\"; nothing is "
         "written for it.\n"},
        // Only blanks pad a LIF name: a zero byte is part of it.
        {{"get", "twins.lif", "TWIN\\x00"},
         "Warning: 2 files in the directory are named \"TWIN\"; get cannot choose between "
         "them by name.\n"
         "File \"TWIN\\x00\" is not on disk \"twins.lif\".\n"},
        // The disk is never written: not even when one of its files has its name.
        {{"get", "A_B.DATA", "A/B"},
         "Output file \"A_B.DATA\" is the input file \"A_B.DATA\"; it is not overwritten.\n"},
        {{"text", "disk.lif", "Same", "out.txt"},
         "File \"Same\" (type PROG) has no text form here; use get.\n"},
        {{"text", "disk.lif", "OLD", "out.txt"}, "File \"OLD\" is not on disk \"disk.lif\".\n"},
    };
    for (const Case& c : cases)
        EXPECT_RUN("hpfiles", c.args,
                   Expected{kStatusMinusOne,
                            "",
                            c.err,
                            {{"out.txt", std::nullopt},
                             {"OLD.purged", std::nullopt},
                             {"TWIN.PROG", std::nullopt},
                             {"A_B.DATA", lif_disk()}}});
}

TEST_F(Hpfiles, WriteFailuresAreErrors) {
    if (e2e::windows_target())
        GTEST_SKIP() << "no /dev/full";
    std::filesystem::create_symlink("/dev/full", path("NOTES.TEXT"));
    const Bytes full = "Write error on file \"NOTES.TEXT\" #28 (No space left on device)\n";
    EXPECT_RUN("hpfiles", {"get", "disk.lif", "NOTES"}, Expected{kStatusMinusOne, "", full, {}});
    EXPECT_RUN("hpfiles", {"text", "disk.lif", "NOTES", "NOTES.TEXT"},
               Expected{kStatusMinusOne, "", full, {}});
}

TEST_F(Hpfiles, TextOfEachFormat) {
    // Text on standard output leaves exactly as it is, on Windows too.
    const auto text_on_stdout = [this](const std::string& name, const Bytes& text) {
        const e2e::Outcome got =
            run("hpfiles", {"text", "disk." + name.substr(0, 3), name.substr(4)});
        EXPECT_EQ(got.status, 0) << name;
        EXPECT_EQ(got.err, "") << name;
        EXPECT_EQ(e2e::render(got.out, 400), e2e::render(text, 400)) << name;
    };
    text_on_stdout("lif NOTES", "HELLO\r\n\r\nHI\r\n");
    EXPECT_RUN("hpfiles", {"text", "disk.lif", "A/B", "out.txt"},
               Expected{0, "", "", {{"out.txt", "ABC\r\n1234567890AB\r\n"}}});
    text_on_stdout("hpi DATA1", "ABC\r\n-2\r\n" + kSplit + "\r\n");
}

// ---------------------------------------------------------------- capture

// One ImageDisk track of 256-byte sectors (size code 1): each sector a record
// type (1 data, 5 data with a data error) and its 256 bytes.
struct ImdSector {
    int id;
    int type;
    Bytes data;
};
Bytes imd_track(const std::vector<ImdSector>& sectors) {
    Bytes t = e2e::bytes_of({5, 0, 0, int(sectors.size()), 1});
    for (const ImdSector& s : sectors)
        t += static_cast<char>(s.id);
    for (const ImdSector& s : sectors)
        t += static_cast<char>(s.type) + s.data;
    return t;
}

// A 16-record LIF volume with one 4-record file at records 6..9.
Bytes captured_disk() {
    return bytes(LifDisk(16)
                     .entry(LifEntry{"DATA1", 0xE010, 6, 4})
                     .bytes_at(6, raw(counting(6, 4 * kRecord)))
                     .image());
}

// The volume read as one track of IDs 1..16: ID 8 (disk record 7, in the
// file) with a data error, ID 9 (disk record 8, in the file) and ID 15 (disk
// record 14, in no file) not found.
Bytes capture() {
    const Bytes disk = captured_disk();
    std::vector<ImdSector> sectors;
    for (int id = 1; id <= 16; ++id)
        if (id != 9 && id != 15)
            sectors.push_back({id, id == 8 ? 5 : 1, disk.substr((id - 1) * kRecord, kRecord)});
    return "IMD 1.18: 09/12/2026 23:00:00\r\nhpfiles test\r\n\x1A" + imd_track(sectors);
}

const Bytes kPlacementWarnings =
    "Warning: cylinder 0 head 0 record 8 was read with a data error; written as read.\n"
    "Warning: cylinder 0 head 0 record 9 not found; written as zeros.\n"
    "Warning: cylinder 0 head 0 record 15 not found; written as zeros.\n"
    "Warning: 2 records written as zeros, 0 sectors not written.\n";

TEST_F(Hpfiles, CaptureNamesEachDamagedRecordOfAFile) {
    write_file("disk.imd", capture());
    EXPECT_RUN("hpfiles", {"list", "disk.imd", "--tsv"},
               Expected{0,
                        kTsvHeading + "DATA1\tDATA\tE010\t6\t4\t1024\t256\t\t1 record lost\n",
                        kPlacementWarnings,
                        {}});
    const Bytes file = captured_disk().substr(6 * kRecord, 4 * kRecord);
    EXPECT_RUN("hpfiles", {"get", "disk.imd"},
               Expected{0,
                        "DATA1      DATA       1024 bytes  DATA1.DATA\n",
                        kPlacementWarnings +
                            "Warning: file \"DATA1\": its record 1 (disk record 7) was read with a "
                            "data error; written as read.\n"
                            "Warning: file \"DATA1\": its record 2 (disk record 8) was not found "
                            "on the disk; written as zeros.\n",
                        {{"DATA1.DATA", file.substr(0, 2 * kRecord) + Bytes(kRecord, '\0') +
                                            file.substr(3 * kRecord)}}});
}

} // namespace
