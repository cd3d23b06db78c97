// Fuzzes the ImageDisk reader and the placement by ID on whole capture files.
#include "imgconv/capture/capture.h"
#include "imgconv/capture/image_disk.h"
#include "imgconv/capture/placement.h"

#include <cstdio>

using namespace imgconv;

namespace {

// Images and warning lists beyond these are placed but not written out: the
// IDs can ask for 256 x 256 tracks, which only slows the fuzzer down.
constexpr uint64_t kMaxWrittenBytes = uint64_t{4} << 20;
constexpr uint64_t kMaxReportedSlots = 1 << 16;

FILE* null_stream() {
    static FILE* f = std::fopen("/dev/null", "w");
    return f;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<unsigned char> file(data, data + size);
    Capture capture;
    CaptureError error;
    if (!read_image_disk(file, capture, error)) {
        if (error.what.empty() || error.offset > size)
            __builtin_trap();
        return 0;
    }
    const Placement p = place_capture(capture, 0, 0, 0);
    if (!p.error.empty())
        return 0;
    if (p.records < 1 || p.records > 256 || p.cylinders < 1 || p.cylinders > 256 || p.heads < 1 ||
        p.heads > 256 || p.slots.size() > p.slot_count())
        __builtin_trap();
    if (p.slot_count() <= kMaxReportedSlots)
        print_placement_warnings(p, null_stream());
    if (p.slot_count() * p.record_bytes <= kMaxWrittenBytes &&
        write_placement(p, null_stream()) != 0)
        __builtin_trap();
    return 0;
}
