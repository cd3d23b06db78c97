// Example sector report of a worn small disk, the dump of its sectors and the true disk image.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

namespace {

constexpr int kCylinders = 4;
constexpr int kHeads = 2;
constexpr int kSectors = 16;      // records per track, numbered 0 to 15
constexpr int kRecordBytes = 256; // bytes per record
constexpr int kInterleave = 2;    // 2:1, as the sectors lie on each track

// The scan of a well-worn disk, as SECSCAN lists it: the tracks in cylinder
// and head order, with the faults such a scan has.
constexpr int kLostCylinder = 1; // this track lost one sector: it was not found
constexpr int kLostHead = 1;
constexpr int kLostRecord = 9;
constexpr int kRereadCylinder = 2; // this sector was read twice
constexpr int kRereadHead = 0;
constexpr int kRereadRecord = 4;
constexpr int kStrayCylinder = 1; // this track met a sector of the next cylinder
constexpr int kStrayHead = 0;
constexpr int kStrayAfterRecord = 5;

// The tracks beyond the disk at the end of the scan: written later in a
// PC-style format.
constexpr int kForeignCylinder = 4;
constexpr int kForeignSectors = 9; // numbered 1 to 9
constexpr int kForeignRecordBytes = 512;

// A record whose every line says where it belongs: "C1 H0 R07 ...".
std::string record_text(int cylinder, int head, int record, int bytes) {
    char line[17];
    std::snprintf(line, sizeof line, "C%d H%d R%02d ----\n", cylinder, head, record);
    std::string r;
    while (static_cast<int>(r.size()) < bytes)
        r += line;
    r.resize(static_cast<size_t>(bytes));
    return r;
}

// Report lines with each number's last digit in the last column of its field.
std::string track_line(int cylinder, int head, int sectors) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "\xFE TRACK:%11d%13d%8d\n", cylinder, head, sectors);
    return buf;
}

std::string sector_line(int cylinder, int head, int record, int bytes) {
    char buf[64];
    std::snprintf(buf, sizeof buf, " + Sector:%5d%5d%6d%9d\n", cylinder, head, record, bytes);
    return buf;
}

// Logical records in the order they pass the head on a track written with
// an n:1 interleave, starting `skew` slots in.
std::vector<int> physical_order(int sectors, int interleave, int skew) {
    std::vector<int> slot_to_record(static_cast<size_t>(sectors), -1);
    int slot = 0;
    for (int r = 0; r < sectors; ++r) {
        if (r > 0)
            slot = (slot + interleave) % sectors;
        while (slot_to_record[static_cast<size_t>(slot)] != -1)
            slot = (slot + 1) % sectors;
        slot_to_record[static_cast<size_t>(slot)] = r;
    }
    std::vector<int> order;
    for (int i = 0; i < sectors; ++i)
        order.push_back(slot_to_record[static_cast<size_t>((i + skew) % sectors)]);
    return order;
}

bool write(const std::string& dir, const std::string& name, const std::string& data) {
    std::ofstream f(dir + "/" + name, std::ios::binary | std::ios::trunc);
    f.write(data.data(), static_cast<std::streamsize>(data.size()));
    f.close();
    if (!f)
        std::cerr << "could not write " << dir << "/" << name << "\n";
    return static_cast<bool>(f);
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::cerr << "usage: " << argv[0] << " <output folder>\n";
        return 1;
    }
    char heading[128];
    std::snprintf(heading, sizeof heading,
                  "Sector scan of example disk: %d cylinders, %d heads, %d x %d bytes\n",
                  kCylinders, kHeads, kSectors, kRecordBytes);
    std::string report = std::string(heading) +
                         "Tracks and sectors as the scan met them; data in this order in the "
                         "dump.\n\n";
    std::string dump;
    std::string image; // the true disk
    int skew = 0;
    for (int cylinder = 0; cylinder < kCylinders; ++cylinder) {
        for (int head = 0; head < kHeads; ++head) {
            const bool lost_track = cylinder == kLostCylinder && head == kLostHead;
            report += track_line(cylinder, head, lost_track ? kSectors - 1 : kSectors);
            for (int record : physical_order(kSectors, kInterleave, skew)) {
                if (lost_track && record == kLostRecord)
                    continue;
                const int reads =
                    cylinder == kRereadCylinder && head == kRereadHead && record == kRereadRecord
                        ? 2
                        : 1;
                for (int i = 0; i < reads; ++i) {
                    report += sector_line(cylinder, head, record, kRecordBytes);
                    dump += record_text(cylinder, head, record, kRecordBytes);
                }
                // A sector of the next cylinder, read by a head that had not
                // settled: it carries its own ID and is left out.
                if (cylinder == kStrayCylinder && head == kStrayHead &&
                    record == kStrayAfterRecord) {
                    report += sector_line(cylinder + 1, head, record, kRecordBytes);
                    dump += record_text(cylinder + 1, head, record, kRecordBytes);
                }
            }
            for (int record = 0; record < kSectors; ++record)
                image += record_text(cylinder, head, record, kRecordBytes);
            skew += 3; // each track starts a little further round
            report += "\n";
        }
    }
    // Tracks written in another format: other sector count and size.
    for (int head = 0; head < kHeads; ++head) {
        report += track_line(kForeignCylinder, head, kForeignSectors);
        for (int record : physical_order(kForeignSectors, 1, 0)) {
            report += sector_line(kForeignCylinder, head, record + 1, kForeignRecordBytes);
            dump += record_text(kForeignCylinder, head, record + 1, kForeignRecordBytes);
        }
        report += "\n";
    }
    report += "End of scan\n";

    const std::string dir = argv[1];
    const bool ok = write(dir, "secscan_report.txt", report) &&
                    write(dir, "secscan_dump.bin", dump) && write(dir, "secscan_disk.hpi", image);
    return ok ? 0 : 1;
}
