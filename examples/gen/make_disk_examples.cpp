// Makes the imgconv examples: a small LIF disk as an HP image and two physical-order dumps of it.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

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
                   physical_dump(disk, kSkewedInterleave, kCylinderSkew, kHeadSkew, kJunkBytes));
    return ok ? 0 : 1;
}
