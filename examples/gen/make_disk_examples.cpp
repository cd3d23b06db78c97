// Makes the imgconv and hpfiles examples: a small LIF disk as an HP image, two physical-order dumps
// of it and two captures of it (ImageDisk, and TeleDisk with one sector lost).
#include "imgconv/capture/tele_disk.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using namespace imgconv;

namespace {

// The disk: 8 cylinders, 2 heads, 16 sectors of 256 bytes (64 KiB).
constexpr uint32_t kCylinders = 8;
constexpr uint32_t kHeads = 2;
constexpr uint32_t kSectors = 16;
constexpr uint32_t kRecordBytes = 256;
constexpr uint32_t kRecords = kCylinders * kHeads * kSectors;

// LIF layout: the directory takes records 2 to 15, files start at record 16.
constexpr uint32_t kDirStart = 2;          // record
constexpr uint32_t kDirRecords = 14;       // records
constexpr uint32_t kEntryBytes = 32;       // one directory entry
constexpr uint16_t kTypeText = 0x0001;     // LIF TEXT file
constexpr uint16_t kTypeHp85Data = 0xE010; // HP-85 DATA file
constexpr uint16_t kTypeEndOfDir = 0xFFFF; // marks the end of the directory

// LIF TEXT: each line a 16-bit length, its bytes and a pad byte after an odd
// length; this length ends the file.
constexpr uint32_t kTextEnd = 0xFFFF;

// HP-85 DATA: items in logical records of kHp85RecordBytes; lengths are
// little-endian 16-bit words after the item's type byte.
constexpr uint32_t kHp85RecordBytes = 256;     // logical record
constexpr unsigned char kHp85String = 0xDF;    // a whole string
constexpr unsigned char kHp85First = 0xCF;     // first piece: the whole length
constexpr unsigned char kHp85Next = 0x6F;      // next piece: the characters still owed
constexpr unsigned char kHp85RecordEnd = 0xEF; // nothing more in this record
constexpr unsigned char kHp85Unused = 0xFF;    // fills the rest of a record
constexpr uint32_t kHp85ItemHead = 3;          // type byte and length word

// The skewed dump: interleave 3, cylinder skew 3, head skew 5, 32 junk bytes per track.
constexpr uint32_t kSkewedInterleave = 3;
constexpr uint32_t kCylinderSkew = 3; // slots
constexpr uint32_t kHeadSkew = 5;     // slots
constexpr uint32_t kJunkBytes = 32;   // after each track
constexpr unsigned char kGapByte = 0x4E;

using Record = std::string;

void put_be16(Record& r, size_t at, uint32_t v) {
    r[at] = static_cast<char>(v >> 8);
    r[at + 1] = static_cast<char>(v);
}

void put_be32(Record& r, size_t at, uint32_t v) {
    put_be16(r, at, v >> 16);
    put_be16(r, at + 2, v & 0xFFFF);
}

void put_text(Record& r, size_t at, const std::string& text) {
    r.replace(at, text.size(), text);
}

void put_le16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8 & 0xFF);
}

// A file of the volume: its name, type and bytes, laid into whole records,
// and for HP-85 types the little-endian byte count and logical record length
// of directory bytes 28-31 (0 for other types).
struct File {
    const char* name;
    uint16_t type;
    std::string bytes;
    uint32_t byte_count;
    uint32_t record_length;
};

std::string lif_text(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += {static_cast<char>(line.size() >> 8), static_cast<char>(line.size() & 0xFF)};
        text += line;
        if (line.size() % 2 != 0)
            text += '\0';
    }
    text += {static_cast<char>(kTextEnd >> 8), static_cast<char>(kTextEnd & 0xFF)};
    return text;
}

// HP-85 DATA strings, each as its own item or, where it does not fit in what
// is left of a logical record, cut at the record's end and carried on at the
// start of the next; then the end of data (an empty string and a record end)
// and unused bytes up to the record's end.
std::string hp85_data(const std::vector<std::string>& strings) {
    std::string data;
    auto left = [&] { return kHp85RecordBytes - data.size() % kHp85RecordBytes; };
    auto close_record = [&] {
        data += static_cast<char>(kHp85RecordEnd);
        data += std::string(left() % kHp85RecordBytes, static_cast<char>(kHp85Unused));
    };
    for (const std::string& s : strings) {
        if (left() <= kHp85ItemHead)
            close_record();
        if (kHp85ItemHead + s.size() <= left()) {
            data += static_cast<char>(kHp85String);
            put_le16(data, static_cast<uint32_t>(s.size()));
            data += s;
            continue;
        }
        size_t done = 0;
        data += static_cast<char>(kHp85First);
        while (true) {
            put_le16(data, static_cast<uint32_t>(s.size() - done));
            const size_t piece = std::min<size_t>(s.size() - done, left());
            data += s.substr(done, piece);
            done += piece;
            if (done == s.size())
                break;
            data += static_cast<char>(kHp85Next);
        }
    }
    if (left() <= kHp85ItemHead)
        close_record();
    data += static_cast<char>(kHp85String);
    put_le16(data, 0);
    close_record();
    return data;
}

// Where the end of data lies: the byte after the record end that follows the empty string.
uint32_t hp85_data_bytes(const std::string& data) {
    const std::string end_of_data = {static_cast<char>(kHp85String), 0, 0,
                                     static_cast<char>(kHp85RecordEnd)};
    return static_cast<uint32_t>(data.rfind(end_of_data) + end_of_data.size());
}

// MAKESQ: the BASIC program that prints the squares SQUARES holds, as an
// HP-85 keeps a listing in a DATA file: one string per line, each ending in
// CR. Line 70 starts at byte 248 and is cut at the end of the first record.
std::vector<std::string> makesq_listing() {
    const std::vector<std::string> lines = {
        "10 ! MAKESQ: PRINTS THE SQUARES OF 1 TO 60, AS THE TEXT FILE SQUARES HOLDS THEM",
        "20 ! ONE LINE PER NUMBER: THE NUMBER, A BLANK AND ITS SQUARE",
        "30 DIM L$[20]",
        "40 PRINT \"SQUARES OF 1 TO 60\"",
        "50 FOR N=1 TO 60",
        "60 L$=VAL$(N)&\" \"&VAL$(N*N)",
        "70 PRINT L$",
        "80 NEXT N",
        "90 END",
    };
    std::vector<std::string> strings;
    for (const std::string& line : lines)
        strings.push_back(line + "\r");
    return strings;
}

std::vector<File> volume_files() {
    std::vector<std::string> squares = {"SQUARES OF 1 TO 60"};
    for (int n = 1; n <= 60; ++n)
        squares.push_back(std::to_string(n) + " " + std::to_string(n * n));
    const std::string makesq = hp85_data(makesq_listing());
    return {
        {"README", kTypeText,
         lif_text({"THIS DISK WAS WRITTEN AS AN EXAMPLE FOR IMGCONV AND HPFILES.",
                   "IT HOLDS A LIF VOLUME WITH THREE TEXT FILES, README, SQUARES AND NOTES,",
                   "AND MAKESQ, A BASIC LISTING KEPT IN AN HP-85 DATA FILE.",
                   "EVERY RECORD NOT TAKEN BY A FILE OR THE DIRECTORY NAMES ITS OWN NUMBER,",
                   "CYLINDER, HEAD AND SECTOR, SO A WRONG PLACEMENT SHOWS AT ONCE.",
                   "THE DIRECTORY STARTS AT RECORD 2; THE FIRST FILE AT RECORD 16."}),
         0, 0},
        {"SQUARES", kTypeText, lif_text(squares), 0, 0},
        {"NOTES", kTypeText,
         lif_text({"INTERLEAVE 2: SECTOR 1 FOLLOWS SECTOR 0 TWO SLOTS LATER.",
                   "INTERLEAVE 3 WITH SKEWS: EACH TRACK ALSO STARTS TURNED."}),
         0, 0},
        {"MAKESQ", kTypeHp85Data, makesq, hp85_data_bytes(makesq), kHp85RecordBytes},
    };
}

// Records in HP order: cylinder, head, sector.
std::vector<Record> make_volume() {
    std::vector<Record> disk(kRecords);
    for (uint32_t r = 0; r < kRecords; ++r) {
        char stamp[80];
        std::snprintf(stamp, sizeof stamp, "free record %03u (cylinder %u head %u sector %02u)\n",
                      static_cast<unsigned>(r), static_cast<unsigned>(r / (kHeads * kSectors)),
                      static_cast<unsigned>(r / kSectors % kHeads),
                      static_cast<unsigned>(r % kSectors));
        Record rec;
        while (rec.size() < kRecordBytes)
            rec += stamp;
        disk[r] = rec.substr(0, kRecordBytes);
    }

    // Volume header.
    Record& header = disk[0];
    header.assign(kRecordBytes, '\0');
    put_be16(header, 0, 0x8000);                      // LIF identifier
    put_text(header, 2, "HP9845");                    // volume label
    put_be32(header, 8, kDirStart);                   // directory start record
    put_be16(header, 12, 0x1000);                     // system marker
    put_be32(header, 16, kDirRecords);                // directory length in records
    put_be16(header, 20, 1);                          // LIF version
    put_be32(header, 24, kCylinders);                 // tracks per surface
    put_be32(header, 28, kHeads);                     // surfaces
    put_be32(header, 32, kSectors);                   // sectors per track
    put_text(header, 36, "\x81\x05\x12\x10\x30\x00"); // 1981-05-12 10:30:00, BCD
    disk[1].assign(kRecordBytes, '\0');

    // Directory and files.
    for (uint32_t d = 0; d < kDirRecords; ++d)
        disk[kDirStart + d].assign(kRecordBytes, '\0');
    uint32_t next = kDirStart + kDirRecords;
    uint32_t entry = 0;
    for (const File& f : volume_files()) {
        const uint32_t length =
            static_cast<uint32_t>((f.bytes.size() + kRecordBytes - 1) / kRecordBytes);
        Record& dir = disk[kDirStart + entry * kEntryBytes / kRecordBytes];
        const size_t at = entry * kEntryBytes % kRecordBytes;
        put_text(dir, at, (std::string(f.name) + "          ").substr(0, 10));
        put_be16(dir, at + 10, f.type);
        put_be32(dir, at + 12, next);   // start record
        put_be32(dir, at + 16, length); // length in records
        put_text(dir, at + 20, "\x81\x05\x12\x10\x30\x00");
        put_be16(dir, at + 26, 0x8001); // last volume of one
        dir[at + 28] = static_cast<char>(f.byte_count & 0xFF);
        dir[at + 29] = static_cast<char>(f.byte_count >> 8);
        dir[at + 30] = static_cast<char>(f.record_length & 0xFF);
        dir[at + 31] = static_cast<char>(f.record_length >> 8);
        for (uint32_t k = 0; k < length; ++k) {
            Record rec = f.bytes.substr(k * kRecordBytes, kRecordBytes);
            disk[next + k] = rec + std::string(kRecordBytes - rec.size(), '\0');
        }
        next += length;
        ++entry;
    }
    Record& dir = disk[kDirStart + entry * kEntryBytes / kRecordBytes];
    put_be16(dir, entry * kEntryBytes % kRecordBytes + 10, kTypeEndOfDir);
    return disk;
}

// The formatter's walk over a track: sector 0 in slot 0, each next sector
// `interleave` slots on, or the next free slot after that one.
std::vector<uint32_t> slots_of_track(uint32_t interleave) {
    const uint32_t free_slot = kSectors;
    std::vector<uint32_t> holds(kSectors, free_slot);
    uint32_t slot = 0;
    holds[0] = 0;
    for (uint32_t s = 1; s < kSectors; ++s) {
        slot = (slot + interleave) % kSectors;
        while (holds[slot] != free_slot)
            slot = (slot + 1) % kSectors;
        holds[slot] = s;
    }
    return holds;
}

// Tracks one after another as a dumping tool reads them: each track's slots
// in the order they pass the head, the track turned by its skew against track
// 0 (head skew per head step, cylinder plus head skew per cylinder step),
// then `junk` gap bytes.
std::string physical_dump(const std::vector<Record>& disk, uint32_t interleave, uint32_t cskew,
                          uint32_t hskew, uint32_t junk) {
    const std::vector<uint32_t> holds = slots_of_track(interleave);
    std::string dump;
    for (uint32_t c = 0; c < kCylinders; ++c)
        for (uint32_t h = 0; h < kHeads; ++h) {
            const uint32_t turn = (c * (cskew + hskew) + h * hskew) % kSectors;
            for (uint32_t slot = 0; slot < kSectors; ++slot) {
                const uint32_t sector = holds[(slot + kSectors - turn) % kSectors];
                dump += disk[(c * kHeads + h) * kSectors + sector];
            }
            dump += std::string(junk, static_cast<char>(kGapByte));
        }
    return dump;
}

// The captures: every track read in interleave 2, sector IDs 0..15 carried
// by each sector, 256 bytes each (size code 1), 250 kbps MFM.
constexpr uint32_t kCaptureInterleave = 2;
constexpr int kSizeCode256 = 1;
constexpr int kImdModeMfm250 = 5;
constexpr int kImdNormal = 1;     // record type: the sector's bytes follow
constexpr int kImdCompressed = 2; // record type: one byte, repeated over the sector
constexpr char kImdEndOfText = 0x1A;
// The sector that the TeleDisk capture lost: cylinder 3 head 1 record 5 (HP record 117).
constexpr uint32_t kLostCylinder = 3;
constexpr uint32_t kLostHead = 1;
constexpr uint32_t kLostSector = 5;
// TeleDisk: version 2.1, 250 kbps MFM, 3.5" 720K drive, single step with a
// comment block, every sector (not only DOS-allocated ones), two sides.
constexpr int kTdVersion = 21;
constexpr int kTdDataRate250 = 0;
constexpr int kTdDrive720k = 3;
constexpr int kTdStepWithComment = 0x80;
constexpr int kTdTwoSides = 2;
constexpr int kTdRaw = 0;          // data block encoding: the sector's bytes
constexpr int kTdRepeatedPair = 1; // data block encoding: count, then two bytes
constexpr int kTdEnd = 0xFF;       // sector count of the end marker
const char kCaptureComment[] = "HP 9845 example LIF disk for imgconv";

uint16_t crc_of(const std::string& bytes) {
    return tele_disk_crc(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
}

bool all_equal(const Record& r) {
    return r.find_first_not_of(r[0]) == std::string::npos;
}

// The sectors of a track in the order they pass the head.
std::vector<uint32_t> physical_order() {
    std::vector<uint32_t> order;
    for (uint32_t sector : slots_of_track(kCaptureInterleave))
        order.push_back(sector);
    return order;
}

std::string image_disk_capture(const std::vector<Record>& disk) {
    std::string imd = "IMD 1.18: 12/05/1981 10:30:00\r\n" + std::string(kCaptureComment) + "\r\n";
    imd += kImdEndOfText;
    for (uint32_t c = 0; c < kCylinders; ++c)
        for (uint32_t h = 0; h < kHeads; ++h) {
            imd += {static_cast<char>(kImdModeMfm250), static_cast<char>(c), static_cast<char>(h),
                    static_cast<char>(kSectors), static_cast<char>(kSizeCode256)};
            for (uint32_t sector : physical_order())
                imd += static_cast<char>(sector);
            for (uint32_t sector : physical_order()) {
                const Record& r = disk[(c * kHeads + h) * kSectors + sector];
                if (all_equal(r))
                    imd += {static_cast<char>(kImdCompressed), r[0]};
                else
                    imd += static_cast<char>(kImdNormal) + r;
            }
        }
    return imd;
}

std::string tele_disk_capture(const std::vector<Record>& disk) {
    std::string td = "TD";
    td += {0,
           0,
           static_cast<char>(kTdVersion),
           static_cast<char>(kTdDataRate250),
           static_cast<char>(kTdDrive720k),
           static_cast<char>(kTdStepWithComment),
           0,
           static_cast<char>(kTdTwoSides)};
    put_le16(td, crc_of(td));
    // Comment block: CRC over the length, the date (1981-05-12 10:30:00, months
    // from 0) and the text, whose lines each end with a NUL.
    std::string comment;
    const std::string text = std::string(kCaptureComment) + '\0';
    put_le16(comment, static_cast<uint32_t>(text.size()));
    comment += {81, 4, 12, 10, 30, 0};
    comment += text;
    put_le16(td, crc_of(comment));
    td += comment;
    for (uint32_t c = 0; c < kCylinders; ++c)
        for (uint32_t h = 0; h < kHeads; ++h) {
            const bool loses = c == kLostCylinder && h == kLostHead;
            std::string track = {static_cast<char>(loses ? kSectors - 1 : kSectors),
                                 static_cast<char>(c), static_cast<char>(h)};
            td += track + static_cast<char>(crc_of(track) & 0xFF);
            for (uint32_t sector : physical_order()) {
                if (loses && sector == kLostSector)
                    continue;
                const Record& r = disk[(c * kHeads + h) * kSectors + sector];
                td += {static_cast<char>(c),
                       static_cast<char>(h),
                       static_cast<char>(sector),
                       static_cast<char>(kSizeCode256),
                       0,
                       static_cast<char>(crc_of(r) & 0xFF)};
                if (all_equal(r)) {
                    put_le16(td, 5);
                    td += static_cast<char>(kTdRepeatedPair);
                    put_le16(td, kRecordBytes / 2);
                    td += {r[0], r[0]};
                } else {
                    put_le16(td, 1 + kRecordBytes);
                    td += static_cast<char>(kTdRaw) + r;
                }
            }
        }
    // The end marker; TeleDisk follows it with the last track's cylinder and head.
    td += {static_cast<char>(kTdEnd), static_cast<char>(kCylinders - 1),
           static_cast<char>(kHeads - 1), 0};
    return td;
}

bool write_file(const std::string& dir, const char* name, const std::string& bytes) {
    const std::string path = dir + "/" + name;
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "cannot create %s\n", path.c_str());
        return false;
    }
    const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    if (std::fclose(f) != 0 || !ok) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <output folder>\n", argv[0]);
        return 2;
    }
    const std::vector<Record> disk = make_volume();
    std::string image;
    for (const Record& r : disk)
        image += r;
    const bool ok =
        write_file(argv[1], "lif_disk.hpi", image) &&
        write_file(argv[1], "lif_disk_il2.ima", physical_dump(disk, 2, 0, 0, 0)) &&
        write_file(argv[1], "lif_disk_il3_skew.ima",
                   physical_dump(disk, kSkewedInterleave, kCylinderSkew, kHeadSkew, kJunkBytes)) &&
        write_file(argv[1], "lif_disk.imd", image_disk_capture(disk)) &&
        write_file(argv[1], "lif_disk.td0", tele_disk_capture(disk));
    return ok ? 0 : 1;
}
