// Makes the imgconv examples: a small LIF disk as an HP image, two physical-order dumps of it and
// two captures of it (ImageDisk, and TeleDisk with one sector lost).
#include "imgconv/capture/tele_disk.h"

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
constexpr uint16_t kTypeAscii = 0x0001;    // LIF ASCII file
constexpr uint16_t kTypeEndOfDir = 0xFFFF; // marks the end of the directory

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

// A file of the volume: its name and text, laid into whole records.
struct File {
    const char* name;
    std::string text;
};

std::vector<File> volume_files() {
    std::string squares = "SQUARES OF 1 TO 60\r\n";
    for (int n = 1; n <= 60; ++n)
        squares += std::to_string(n) + " " + std::to_string(n * n) + "\r\n";
    return {
        {"README", "THIS DISK WAS WRITTEN AS AN EXAMPLE FOR IMGCONV.\r\n"
                   "IT HOLDS A LIF VOLUME WITH THREE TEXT FILES: README, SQUARES AND NOTES.\r\n"
                   "EVERY RECORD NOT TAKEN BY A FILE OR THE DIRECTORY NAMES ITS OWN NUMBER,\r\n"
                   "CYLINDER, HEAD AND SECTOR, SO A WRONG PLACEMENT SHOWS AT ONCE.\r\n"
                   "THE DIRECTORY STARTS AT RECORD 2; THE FIRST FILE AT RECORD 16.\r\n"},
        {"SQUARES", squares},
        {"NOTES", "INTERLEAVE 2: SECTOR 1 FOLLOWS SECTOR 0 TWO SLOTS LATER.\r\n"
                  "INTERLEAVE 3 WITH SKEWS: EACH TRACK ALSO STARTS TURNED.\r\n"},
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
            static_cast<uint32_t>((f.text.size() + kRecordBytes - 1) / kRecordBytes);
        Record& dir = disk[kDirStart + entry * kEntryBytes / kRecordBytes];
        const size_t at = entry * kEntryBytes % kRecordBytes;
        put_text(dir, at, (std::string(f.name) + "          ").substr(0, 10));
        put_be16(dir, at + 10, kTypeAscii);
        put_be32(dir, at + 12, next);   // start record
        put_be32(dir, at + 16, length); // length in records
        put_text(dir, at + 20, "\x81\x05\x12\x10\x30\x00");
        put_be16(dir, at + 26, 0x8001); // last volume of one
        for (uint32_t k = 0; k < length; ++k) {
            Record rec = f.text.substr(k * kRecordBytes, kRecordBytes);
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

void put_le16(std::string& s, uint32_t v) {
    s += static_cast<char>(v & 0xFF);
    s += static_cast<char>(v >> 8 & 0xFF);
}

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
