// The disk a run reads (an image, or a capture placed in memory) and each record's reading state.
#pragma once

#include "common/report.h"

#include <cstdint>
#include <vector>

namespace hpfiles {

// An HP-order image larger than this is refused before it is read.
constexpr uint64_t kMaxImageFileBytes = uint64_t{256} << 20;

// How the reading of one 256-byte disk record went, as flags: a record made
// of several smaller slots can carry more than one.
enum RecordFlag : uint8_t {
    kRecordNotFound = 1,     // a slot of it was not on the disk: zeros
    kRecordDataError = 2,    // a slot of it was read only with a data error
    kRecordCopiesDiffer = 4, // a slot of it was read twice with different data
};

struct Disk {
    std::vector<unsigned char> image; // HP record order
    bool from_capture = false;
    // Per 256-byte disk record, RecordFlag bits; empty for an image (all sound).
    std::vector<uint8_t> record_flags;

    uint8_t flags(uint64_t record) const {
        return record < record_flags.size() ? record_flags[record] : 0;
    }
};

// What to read: the disk's file name and the capture geometry options
// (0 = not given).
struct DiskRequest {
    const char* path = nullptr;
    uint32_t cylinders = 0;
    uint32_t heads = 0;
    uint32_t sectors = 0;
    bool geometry_given = false;
};

// Reads the disk at request.path, told by its first bytes as imgconv tells
// it. A capture is read, placed and its warnings printed exactly as imgconv
// does (on report.warnings()); with an image, -c/-h/-s given bring a warning
// that they have no effect. False after a failure, its message printed on
// report.errors().
bool load_disk(const DiskRequest& request, Disk& disk, const common::Reporter& report);

// Per 256-byte disk record, the flags of the slots that overlap it: a slot
// of `slot_bytes` bytes with index i covers bytes i*slot_bytes onwards.
// `slot_flags` has one entry per slot; `image_bytes` is the image's size.
std::vector<uint8_t> record_flags_from_slots(const std::vector<uint8_t>& slot_flags,
                                             uint32_t slot_bytes, uint64_t image_bytes);

} // namespace hpfiles
