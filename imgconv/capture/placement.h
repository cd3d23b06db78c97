// Puts a capture's sectors into the image's slots by the IDs they carry.
#pragma once

#include "imgconv/capture/capture.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace imgconv {

// Where a value of the geometry came from.
enum class GeometrySource { option, lif_header, sector_ids };

// What one slot of the image holds: the winning copy, and how its reading went.
struct PlacedSlot {
    const CaptureSector* copy = nullptr;
    bool data_error = false;    // every copy was read with a data error; the first is written
    bool copies_differ = false; // two copies without a data error hold different data
};

// A sector ID (cylinder, head, record) that no slot of the image takes.
struct LeftOutId {
    uint32_t cylinder;
    uint32_t head;
    uint32_t record;
    bool operator<(const LeftOutId& o) const {
        if (cylinder != o.cylinder)
            return cylinder < o.cylinder;
        if (head != o.head)
            return head < o.head;
        return record < o.record;
    }
};

// The image a capture gives: its geometry, the filled slots and what the
// placing has to say. Slots not in `slots` are written as zeros. The slots
// point into the Capture, which must outlive the Placement.
struct Placement {
    std::string error;         // not empty: the disk's format is unknown, nothing is written
    uint32_t record_bytes = 0; // V: every slot's size
    uint32_t first_record = 0; // ID of a track's first record
    uint32_t records = 0;      // R: records per track, after the cut at 255
    uint32_t cylinders = 0;
    uint32_t heads = 0;
    GeometrySource records_source = GeometrySource::sector_ids;
    GeometrySource cylinders_source = GeometrySource::sector_ids;
    GeometrySource heads_source = GeometrySource::sector_ids;
    // Lines ("Warning: ...\n") before the track lines: the LIF header's
    // geometry that is not used.
    std::vector<std::string> warnings;
    // With -v: the record size and range, the geometry and its sources, and
    // the sectors that are no candidates, counted by reason.
    std::vector<std::string> verbose;
    // Filled slots by index ((cylinder * heads + head) * records + record - first_record).
    std::map<uint64_t, PlacedSlot> slots;
    std::vector<LeftOutId> left_out; // ascending, each ID once

    uint64_t slot_count() const { return uint64_t{cylinders} * heads * records; }
};

// Places the capture's sectors; `sectors`, `cylinders` and `heads` are the -s,
// -c and -h values (0 or beyond 256: not given). Pure: prints nothing.
Placement place_capture(const Capture& capture, uint32_t sectors, uint32_t cylinders,
                        uint32_t heads);

// Prints the warnings of the placement's tracks in image order, the IDs left
// out and the closing count ("Warning: ..." lines on `out`). Lines grow with
// the image, so they are printed rather than collected.
void print_placement_warnings(const Placement& placement, FILE* out);

// Writes the image slot by slot; returns 0, or the errno of a failed write.
int write_placement(const Placement& placement, FILE* image);

} // namespace imgconv
