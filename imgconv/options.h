// Run settings of imgconv, filled from the command line and completed by the LIF probe.
#pragma once

#include <cstdint>

namespace imgconv {

// At most this many pairs can follow "-m" on the command line.
constexpr int kMaxMatchEntries = 10;

// One known transformation: output record `which` lies at input byte `where`.
struct MatchEntry {
    uint32_t which = 0; // output record number, in HP order
    uint32_t where = 0; // byte offset in the dump
};

// Every number is 32 bits wide and all arithmetic on them wraps modulo 2^32.
// Negative interleave or skews mean "not given"; 0 in the geometry means
// automatic detection; 0 in skew_count means every track.
struct ConvertOptions {
    const char* input_path = nullptr;
    const char* output_path = "image.bin";
    uint32_t cylinders = 0;
    uint32_t heads = 0;
    uint32_t sectors = 0;    // records per track
    uint32_t rec_size = 256; // bytes per record
    uint32_t junk = 0;       // bytes after every track of the dump
    int32_t interleave = -1; // n:1 interleave factor
    int32_t cylinder_skew = -1;
    int32_t head_skew = -1;
    uint32_t skew_count = 0;    // tracks to skew
    uint32_t cylinder_skip = 0; // bytes per cylinder
    uint32_t head_skip = 0;     // bytes per head
    const char* control_path = nullptr;
    int32_t match_count = 0;
    MatchEntry match_entries[kMaxMatchEntries];
    bool verbose = false;
};

} // namespace imgconv
