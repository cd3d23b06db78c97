// Fuzzes the sector report's TRACK and sector line parsers with arbitrary line bytes.
#include "imgconv/report/report_reader.h"

#include <cstddef>
#include <cstdint>
#include <vector>

using namespace imgconv;

namespace {

// A field of `width` columns holds at most width digits, or a sign and
// width - 1 digits.
bool fits(uint32_t value, int width) {
    int32_t v = static_cast<int32_t>(value);
    int32_t max = 1;
    for (int i = 0; i < width; ++i)
        max *= 10;
    return v > -max / 10 && v < max;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // An exact-size copy, so that any read past the line is caught.
    std::vector<char> line(data, data + size);
    const TrackLine t = parse_track_line(line.data(), line.size());
    const SectorLine s = parse_sector_line(line.data(), line.size());
    if (!fits(t.cylinder, 2) || !fits(t.head, 2) || !fits(t.reported_sectors, 2) ||
        !fits(s.cylID, 2) || !fits(s.headID, 1) || !fits(s.record, 2) ||
        !fits(static_cast<uint32_t>(s.recsizeID), 3))
        __builtin_trap();
    return 0;
}
