// A capture read from its file and placed in memory, as imgconv places it and other programs reuse.
#pragma once

#include "imgconv/capture/capture.h"
#include "imgconv/capture/placement.h"

#include "common/report.h"

#include <cstdint>
#include <vector>

namespace imgconv {

// A capture file larger than this is refused before any byte of it is read.
constexpr uint64_t kMaxCaptureFileBytes = uint64_t{64} << 20;

// Without -c, -h and -s all given, the image may be at most this many bytes
// larger than the file it comes from: a real floppy never comes near, a
// header that lies always does.
constexpr uint64_t kMaxImageGrowthBytes = uint64_t{64} << 20;

// The largest value -c, -h and -s take in a capture or control-file run.
constexpr uint32_t kMaxGeometryOption = 256;

// What to read and how to place it.
struct CaptureRequest {
    const char* path = nullptr;
    InputKind kind = InputKind::raw_dump; // raw_dump: told from the file's first bytes
    uint32_t sectors = 0;                 // -s, 0 = not given
    uint32_t cylinders = 0;               // -c, 0 = not given
    uint32_t heads = 0;                   // -h, 0 = not given
    bool verbose = false;
};

// A capture and its placement. The placement points into the capture, so the
// pair is filled in place and never copied or moved.
struct LoadedCapture {
    Capture capture;
    Placement placement;

    LoadedCapture() = default;
    LoadedCapture(const LoadedCapture&) = delete;
    LoadedCapture& operator=(const LoadedCapture&) = delete;
};

// "-c", "-h" or "-s" with a value above kMaxGeometryOption: prints the refusal
// naming the option and its limit on report.errors() and returns true.
bool geometry_option_too_big(uint32_t cylinders, uint32_t heads, uint32_t sectors,
                             const common::Reporter& report);

// How large an image may grow from an input of `input_bytes` bytes; false,
// after the refusal on report.errors(), when `image_bytes` is beyond it and
// the geometry was not all given (`all_given`). `source` says where the
// geometry came from ("the LIF header", "the sector IDs", "the defaults").
bool image_size_allowed(uint64_t image_bytes, uint64_t input_bytes, bool all_given,
                        uint32_t cylinders, uint32_t heads, uint32_t sectors, const char* source,
                        const common::Reporter& report);

// Opens and reads the capture at request.path (refusing one larger than
// kMaxCaptureFileBytes, naming its size, before reading it), decodes it and
// places its sectors. Prints what imgconv prints for it: with `verbose` the
// capture's version and comment and the placement's summary, then the
// capture's warnings and the placement's warnings, on report.warnings();
// failures on report.errors(). Refuses an image more than
// kMaxImageGrowthBytes larger than the file unless -c, -h and -s are all
// given. Returns false after a failure, its message printed.
bool load_capture(const CaptureRequest& request, LoadedCapture& result,
                  const common::Reporter& report);

// The image's bytes in memory, slot by slot exactly as write_placement writes them.
std::vector<unsigned char> placement_image(const Placement& placement);

} // namespace imgconv
