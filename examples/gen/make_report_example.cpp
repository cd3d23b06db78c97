// Example sector report of a small disk, the dump of its sectors and the image rebuilt from them.
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

// The foreign track at the end of the scan: a PC-style format.
constexpr int kForeignCylinder = 4;
constexpr int kForeignSectors = 9; // numbered 1 to 9
constexpr int kForeignRecordBytes = 512;

struct Track {
    int cylinder;
    int head;
};

// The order in which the scan met the tracks: cylinder 0, head 0 first (it
// sets the disk's format), the others out of order.
const Track kScanOrder[] = {{0, 0}, {0, 1}, {2, 0}, {1, 0}, {1, 1}, {3, 0}, {2, 1}, {3, 1}};

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
    std::string report =
        std::string(heading) + "Tracks as the scan met them; data in this order in the dump.\n\n";
    std::string dump;
    std::string image;
    int skew = 0;
    for (const Track& t : kScanOrder) {
        report += track_line(t.cylinder, t.head, kSectors);
        for (int record : physical_order(kSectors, kInterleave, skew)) {
            report += sector_line(t.cylinder, t.head, record, kRecordBytes);
            dump += record_text(t.cylinder, t.head, record, kRecordBytes);
            // A sector of the next cylinder, read by a head that had not
            // settled: it carries its own ID and is left out.
            if (t.cylinder == 1 && t.head == 0 && record == 5) {
                report += sector_line(2, 0, 5, kRecordBytes);
                dump += record_text(2, 0, 5, kRecordBytes);
            }
        }
        for (int record = 0; record < kSectors; ++record)
            image += record_text(t.cylinder, t.head, record, kRecordBytes);
        skew += 3; // each track starts a little further round
        report += "\n";
    }
    // A track written in another format: other sector count and size.
    report += track_line(kForeignCylinder, 0, kForeignSectors);
    for (int record : physical_order(kForeignSectors, 1, 0)) {
        report += sector_line(kForeignCylinder, 0, record + 1, kForeignRecordBytes);
        dump += record_text(kForeignCylinder, 0, record + 1, kForeignRecordBytes);
    }
    report += "\nEnd of scan\n";

    const std::string dir = argv[1];
    const bool ok = write(dir, "secscan_report.txt", report) &&
                    write(dir, "secscan_dump.bin", dump) && write(dir, "secscan_disk.hpi", image);
    return ok ? 0 : 1;
}
