// Interleave table and the linear record-to-offset mapping of the dump.
#include "imgconv/dump/mapping.h"

namespace imgconv {

void build_interleave_table(InterleaveTable& table, uint32_t n, uint32_t a) {
    if (n > kMaxSectorsPerTrack)
        n = kMaxSectorsPerTrack; // callers refuse such geometries first
    for (uint32_t p = 0; p < kMaxSectorsPerTrack; ++p) {
        table.slot_to_sector[p] = -1;
        table.sector_to_slot[p] = -1;
    }
    if (n == 0)
        return;
    uint32_t slot = 0;
    table.slot_to_sector[0] = 0;
    for (uint32_t i = 1; i < n; ++i) {
        // Widen before adding: a may be as large as 2^31 - 1.
        slot = static_cast<uint32_t>((static_cast<uint64_t>(a) + slot) % n);
        while (table.slot_to_sector[slot] != -1)
            slot = (slot + 1) % n;
        table.slot_to_sector[slot] = static_cast<int32_t>(i);
    }
    for (uint32_t p = 0; p < n; ++p)
        table.sector_to_slot[table.slot_to_sector[p]] = static_cast<int32_t>(p);
}

uint32_t record_offset(const DumpPlan& plan, const InterleaveTable& table, uint32_t r,
                       uint32_t cskew, uint32_t hskew, bool apply_skew_count) {
    const uint32_t heads = plan.heads;
    const uint32_t sectors = plan.sectors;
    const uint32_t c = r / (sectors * heads);
    const uint32_t h = (r / sectors) % heads;
    const uint32_t s = r % sectors;
    uint32_t p = static_cast<uint32_t>(table.sector_to_slot[s % kMaxSectorsPerTrack]);
    const uint32_t t = c * heads + h;
    if (!apply_skew_count || c * heads < plan.skew_count) {
        const uint32_t track_skew = c * cskew + (c + h) * hskew;
        p = (p + track_skew) % sectors;
    }
    return (t * sectors + p) * plan.rec_size + t * plan.junk + c * plan.cylinder_skip +
           h * plan.head_skip;
}

} // namespace imgconv
