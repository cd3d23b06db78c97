// Where each HP record lies in a physical-order dump: interleave table and record offsets.
#pragma once

#include "imgconv/plan.h"

#include <cstdint>

namespace imgconv {

// Slots per track the table can hold; a geometry with more sectors is refused.
constexpr uint32_t kMaxSectorsPerTrack = 256;

// One track's placement, used for every track of the disk.
struct InterleaveTable {
    int32_t slot_to_sector[kMaxSectorsPerTrack]; // physical slot -> logical sector
    int32_t sector_to_slot[kMaxSectorsPerTrack]; // logical sector -> physical slot
};

// Lays out n logical sectors (n <= 256) with an a:1 interleave: sector i goes
// a slots after sector i-1, or to the next free slot after that one.
void build_interleave_table(InterleaveTable& table, uint32_t n, uint32_t a);

// Byte offset in the dump of output record r, with the given cylinder and head
// skews. With apply_skew_count the skew only applies to cylinders whose first
// track lies below plan.skew_count (the copy loop); without it every track is
// skewed (the matchlist search). Requires plan.sectors * plan.heads != 0
// (modulo 2^32).
uint32_t record_offset(const DumpPlan& plan, const InterleaveTable& table, uint32_t r,
                       uint32_t cskew, uint32_t hskew, bool apply_skew_count);

} // namespace imgconv
