// The directory readers and listings on small LIF and 9845 images built here.
#include "disk_builder.h"
#include "hpfiles/directory_checks.h"
#include "hpfiles/listing.h"
#include "hpfiles/read_volume.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

using namespace hpfiles;
using namespace hpfiles_test;

namespace {

std::string joined(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines)
        s += l;
    return s;
}

Volume read(const Bytes& image) {
    Volume v;
    EXPECT_TRUE(read_volume(image, v));
    return v;
}

// A LIF volume of 20 records whose one directory record is full (no end mark), with a purged
// entry, a TEXT file, HP-85 files, a file past the end, odd dates and overlapping files.
Bytes small_lif() {
    LifDisk d(20);
    d.label("HPKIT").directory(2, 1).date(bcd_date(85, 3, 4, 12, 30, 45));
    d.entry({"OLD", 0x0000, 3, 2});
    d.entry({"README", 0x0001, 3, 1, bcd_date(85, 3, 4, 12, 30, 45)});
    d.entry(LifEntry{" scores", 0xE010, 4, 2, bcd_date(1, 12, 31, 23, 59, 59)}.hp85(300, 96));
    d.entry(LifEntry{"BIG", 0xE020, 18, 4, {0x99, 0x99, 0x99, 0x99, 0x99, 0x99}}.hp85(0, 0));
    d.entry(LifEntry{"ODD", 0xE014, 6, 1, {0, 0, 0, 0, 0, 0x80}}.hp85(100, 20));
    d.entry({"IN DIR", 0x0001, 2, 1});
    d.entry({"A\x01", 0xE00A, 5, 1});
    d.entry(LifEntry{"LONG", 0xE012, 7, 1}.hp85(1715, 20));
    return d.image();
}

} // namespace

TEST(LifVolume, ListsEveryEntryAsTsv) {
    const Volume v = read(small_lif());
    EXPECT_EQ(tsv_text(v),
              "name\ttype\tcode\tstart\trecords\tbytes\treclen\tdate\tnotes\n"
              "OLD\tpurged\t0000\t3\t2\t512\t256\t\tpurged\n"
              "README\tTEXT\t0001\t3\t1\t256\t256\t1985-03-04 12:30:45\t\n"
              " scores\tDATA\tE010\t4\t2\t300\t96\t2001-12-31 23:59:59\toverlaps A\\x01\n"
              "BIG\tPROG\tE020\t18\t4\t1024\t256\t999999999999\tpast the end of the disk\n"
              "ODD\t?E014\tE014\t6\t1\t256\t256\t000000000080\t\n"
              "IN DIR\tTEXT\t0001\t2\t1\t256\t256\t\tstarts in the directory\n"
              "A\\x01\tBPGM\tE00A\t5\t1\t256\t256\t\toverlaps  scores\n"
              "LONG\tDATA\tE012\t7\t1\t256\t20\t\t\n");
    EXPECT_EQ(joined(v.warnings),
              "Warning: the directory has no end mark; the listing stops at its end (1 record).\n");
    // In use: label 0, directory 2, files 3-7 and 18-19 (the image ends at 20).
    EXPECT_EQ(v.free_records, 11u);
    EXPECT_EQ(v.entries[3].records_present, 2u);
}

TEST(LifVolume, HumanListingIsAligned) {
    LifDisk d(8);
    d.label("DEMO").date(bcd_date(85, 3, 4, 12, 30, 45));
    d.entry(LifEntry{"MAKESQ", 0xE010, 3, 2}.hp85(400, 256));
    d.entry({"X", 0x0000, 5, 1});
    Volume v = read(d.image());
    v.entries[0].records_lost = 1;
    EXPECT_EQ(listing_text(v),
              "LIF volume \"DEMO\", directory at record 2 (1 record), version 1, geometry 0 "
              "tracks x 0 surfaces x 0 records, initialised 1985-03-04 12:30:45\n"
              "Name    Type    Code  Start  Records  Bytes  Reclen  Date  Notes\n"
              "MAKESQ  DATA    E010      3        2    400     256        1 record lost\n"
              "X       purged  0000      5        1    256     256        purged\n"
              "1 file, 1 purged entry, 4 free records\n");
    EXPECT_TRUE(v.warnings.empty());
}

TEST(LifVolume, OverlapsNameAFewFilesAndCountTheRest) {
    LifDisk d(20);
    const struct {
        const char* name;
        uint32_t start, records;
        const char* notes;
    } files[] = {
        {"W", 3, 1, ""},
        {"BIG", 4, 10, "overlaps A; overlaps B; overlaps C; overlaps 1 more file"},
        {"A", 5, 1, "overlaps BIG"},
        {"B", 6, 1, "overlaps BIG"},
        {"C", 8, 1, "overlaps BIG"},
        {"D", 13, 3, "overlaps BIG; overlaps E"}, // BIG found past A, B and C
        {"E", 14, 1, "overlaps D"},
    };
    for (const auto& f : files)
        d.entry({f.name, 0x0001, f.start, f.records});
    const Volume v = read(d.image());
    ASSERT_EQ(v.entries.size(), std::size(files));
    for (size_t i = 0; i < v.entries.size(); ++i) {
        EXPECT_EQ(joined_notes(v.entries, v.entries[i]), files[i].notes) << files[i].name;
    }
}

TEST(Hp9845Volume, ListsEveryEntryAsTsvWithTableChecks) {
    Hp9845Disk d; // data area 16..63, directory 1-2, table 3, spare copy 9-11
    d.entry({"DATA1", 16, 2});
    d.entry({"PROG", 18, 4, 128, hp9845_type_word(6, 16), 1});
    d.free_slot();
    d.entry({"BIG", 60, 8, 10});
    d.entry({"X:Y", 22, 2, 128, hp9845_type_word(0, 0x3F)});
    d.entry({"DATA1", 24, 1});
    d.entry({"SYS", 5, 1, 128, 0xDE00});
    d.entry({"OVER", 50, 2});
    d.free_extent(25, 30).free_extent(40, 0);
    d.bytes_at(11, {0x12}); // the spare copy of the table differs
    const Volume v = read(d.image());
    EXPECT_EQ(tsv_text(v), "name\ttype\tcode\tstart\trecords\tbytes\treclen\tdate\tnotes\n"
                           "DATA1\tDATA\t2400\t16\t2\t512\t256\t\t\n"
                           "PROG\tPROG\tC800\t18\t4\t1024\t256\t\tprotected\n"
                           "BIG\tDATA\t2400\t60\t8\t2048\t20\t\tpast the data area; "
                           "past the end of the disk\n"
                           "X:Y\t?3F\t1F80\t22\t2\t512\t256\t\tname bytes the 9845 does not allow\n"
                           "DATA1\tDATA\t2400\t24\t1\t256\t256\t\t\n"
                           "SYS\tASMB\tDE00\t5\t1\t256\t256\t\tstarts in the system area\n"
                           "OVER\tDATA\t2400\t50\t2\t512\t256\t\toverlaps free records\n");
    EXPECT_EQ(joined(v.warnings),
              "Warning: file \"OVER\" uses records that the free table lists as free.\n"
              "Warning: the files (20 records) and the free table (30 records) do not make up "
              "the data area (48 records).\n"
              "Warning: 2 files in the directory are named \"DATA1\"; get cannot choose between "
              "them by name.\n"
              "Warning: the spare copy of the directory and free table (records 9 to 11) differs "
              "from the directory and free table in use.\n");
    ASSERT_EQ(v.free_extents.size(), 1u);
    EXPECT_EQ(v.free_records, 30u);
    EXPECT_EQ(v.entries[2].records_present, 4u);
    EXPECT_EQ(v.entries[1].system_flags, 6u);
    const std::string listing = listing_text(v);
    EXPECT_EQ(listing.substr(0, listing.find('\n') + 1),
              "HP 9845 file system, system id 0500, 8 records per track, 8 tracks (2 system, 6 "
              "data, spare track 1), directory at records 1 to 2, free table at record 3, "
              "interleave 7\n");
    EXPECT_NE(
        listing.find("\nPROG   PROG  C800  S=6       18        4   1024     256  protected\n"),
        std::string::npos)
        << listing;
    EXPECT_EQ(listing.substr(listing.rfind('\n', listing.size() - 2) + 1),
              "7 files, 30 free records in 1 extent\n");
}

// Real disks: an HP-71 LIF disk with two zero-length files at one record, and a freshly
// formatted 9845 disk whose files and free table make up the data area exactly.
TEST(Volume, RealDisksListWithoutAnomalies) {
    const struct {
        const char* file;
        std::string tsv;
        uint64_t free_records;
    } cases[] = {
        {"TITAN_SM3.lif",
         "name\ttype\tcode\tstart\trecords\tbytes\treclen\tdate\tnotes\n"
         "71SM5\tTEXT\t0001\t16\t134\t34304\t256\t\t\n"
         "71SM6\tTEXT\t0001\t150\t44\t11264\t256\t\t\n"
         "SM5\tTEXT\t0001\t194\t66\t16896\t256\t\t\n"
         "SM41\tTEXT\t0001\t260\t156\t39936\t256\t\t\n"
         "SM4\tTEXT\t0001\t416\t158\t40448\t256\t\t\n"
         "SM42\tTEXT\t0001\t574\t0\t0\t256\t\t\n"
         "CTUR001\tTEXT\t0001\t574\t0\t0\t256\t\t\n",
         1056 - 574 + 1}, // record 1 and records 574..1055
        {"empty_hp9845_image.hpi", "name\ttype\tcode\tstart\trecords\tbytes\treclen\tdate\tnotes\n",
         4440},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        std::ifstream in(std::string(HPKIT_DISKS_DIR) + "/" + c.file, std::ios::binary);
        const Bytes image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        ASSERT_FALSE(image.empty());
        const Volume v = read(image);
        EXPECT_EQ(tsv_text(v), c.tsv);
        EXPECT_EQ(v.free_records, c.free_records);
        EXPECT_EQ(joined(v.warnings), "");
    }
}

TEST(Volume, DirectoryWarnings) {
    const std::string no_end_9845 =
        "Warning: the directory has no end mark; the listing stops at its end (1 record).\n";
    Hp9845Disk full, with_free_slot;
    full.directory(1, 2, 3).end_mark(false);
    with_free_slot.directory(1, 2, 3).end_mark(false).free_slot();
    for (int i = 0; i < 15; ++i) {
        full.entry({"F" + std::to_string(i), static_cast<uint16_t>(16 + i), 1});
        with_free_slot.entry({"F" + std::to_string(i), static_cast<uint16_t>(16 + i), 1});
    }
    full.entry({"LAST", 40, 1});
    Hp9845Disk bad_table;
    std::string outside;
    for (int i = 0; i < 12; ++i) {
        bad_table.free_extent(5, 1);
        if (i < 10)
            outside += "Warning: the free table lists record 5, outside the data area.\n";
    }
    const struct {
        const char* what;
        Bytes image;
        size_t entries;
        std::string warnings;
    } cases[] = {
        {"9845: every slot used, no end mark", full.free_extent(31, 9).free_extent(41, 23).image(),
         16, ""},
        {"9845: a free slot left, no end mark", with_free_slot.free_extent(31, 33).image(), 15,
         no_end_9845},
        {"LIF: directory past the image",
         LifDisk(3).directory(2, 4).entry({"A", 1, 3, 0}).end_mark(false).image(), 8,
         "Warning: the directory (records 2 to 5) reaches past the end of the disk (3 "
         "records); the listing stops there.\n"},
        {"LIF: only the identifier",
         {0x80, 0x00},
         0,
         "Warning: the directory starts at record 0, in the volume label.\n"
         "Warning: the directory has no end mark; the listing stops at its end (0 records).\n"},
        {"9845: directory and table past the image",
         Hp9845Disk().image_records(2).end_mark(false).image(), 0,
         "Warning: the directory (records 1 to 2) reaches past the end of the disk (2 "
         "records); the listing stops there.\n"
         "Warning: the free table (record 3) reaches past the end of the disk (2 records).\n"
         "Warning: the files (0 records) and the free table (0 records) do not make up the data "
         "area (48 records).\n"},
        {"9845: more bad extents than get a line each", bad_table.image(), 0,
         outside + "Warning: 2 more extents of the free table lie outside the data area.\n"
                   "Warning: the free table lists 11 records more than once.\n"
                   "Warning: the files (0 records) and the free table (12 records) do not make up "
                   "the data area (48 records).\n"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Volume v = read(c.image);
        EXPECT_EQ(v.entries.size(), c.entries);
        EXPECT_EQ(joined(v.warnings), c.warnings);
    }
}

TEST(Volume, NeitherFileSystem) {
    Bytes bad_table = Hp9845Disk().directory(3, 3, 4).image();
    Bytes no_data = Hp9845Disk().geometry(8, 2, 0).image();
    Bytes big_table = Hp9845Disk().directory(1, 3, 17).image();
    const struct {
        const char* what;
        Bytes image;
        bool recognised;
    } cases[] = {
        {"empty", {}, false},
        {"zeros", Bytes(4096, 0), false},
        {"directory not before the table", bad_table, false},
        {"no data tracks", no_data, false},
        {"table past the system tracks", big_table, false},
        {"LIF identifier alone", {0x80, 0x00}, true},
        {"a 9845 system record alone", Bytes(Hp9845Disk().image_records(1).image()), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Volume v;
        EXPECT_EQ(read_volume(c.image, v), c.recognised);
    }
}

TEST(Listing, NamesEscapeAndRoundTrip) {
    const struct {
        std::string raw, shown;
    } cases[] = {
        {" eng pie", " eng pie"},
        {"A\x01"
         "B\x7F",
         "A\\x01B\\x7F"},
        {"\xFF\t", "\\xFF\\x09"},
        {"a\\b", "a\\b"},
        {"\\x41", "\\x5Cx41"}, // a backslash that would read as an escape
        {"\\x4", "\\x4"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.shown);
        EXPECT_EQ(escape_name(c.raw), c.shown);
        std::string back;
        ASSERT_TRUE(unescape_name(c.shown, back));
        EXPECT_EQ(back, c.raw);
    }
    std::string raw;
    EXPECT_TRUE(unescape_name("x\\xff", raw));
    EXPECT_EQ(raw, "x\xFF");
    EXPECT_FALSE(unescape_name("A\tB", raw));
}

TEST(Listing, DirectoryDates) {
    const struct {
        DateBytes bytes;
        const char* shown;
    } cases[] = {
        {{0, 0, 0, 0, 0, 0}, ""},
        {bcd_date(70, 1, 1, 0, 0, 0), "1970-01-01 00:00:00"},
        {bcd_date(69, 12, 31, 23, 59, 59), "2069-12-31 23:59:59"},
        {{0x85, 0x13, 0x01, 0x00, 0x00, 0x00}, "851301000000"},
        {{0x85, 0x01, 0x01, 0x24, 0x00, 0x00}, "850101240000"},
        {{0x8A, 0x01, 0x01, 0x00, 0x00, 0x00}, "8A0101000000"},
        {{0x85, 0x01, 0x00, 0x00, 0x00, 0x00}, "850100000000"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(directory_date(c.bytes.data()), c.shown);
}
