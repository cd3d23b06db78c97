// The plan of a dump conversion: every value the conversion uses, and where each one came from.
#pragma once

#include "imgconv/options.h"

#include <cstdint>

namespace imgconv {

// Where a value of the plan came from.
enum class Origin { option, lif_header, interleave_scan, matchlist, defaults };

// How a message names an origin: "the command line", "the LIF header",
// "the interleave scan", "the matchlist", "the defaults".
const char* origin_text(Origin origin);

// What the dump conversions work by. The probe completes the geometry and
// the interleave, the linear preparation the skews and the record count; the
// parsed options themselves stay as the command line gave them. Numbers wrap
// modulo 2^32 as the options' do.
struct DumpPlan {
    uint32_t cylinders = 0;
    uint32_t heads = 0;
    uint32_t sectors = 0; // records per track
    Origin cylinders_origin = Origin::option;
    Origin heads_origin = Origin::option;
    Origin sectors_origin = Origin::option;
    int32_t interleave = -1; // n:1; negative until settled
    Origin interleave_origin = Origin::option;
    int32_t cylinder_skew = -1; // negative until settled
    int32_t head_skew = -1;
    Origin cylinder_skew_origin = Origin::option;
    Origin head_skew_origin = Origin::option;
    uint32_t skew_count = 0; // tracks skewed; 0 until settled means every track
    // As given: the layout of the dump.
    uint32_t rec_size = 256;
    uint32_t junk = 0;
    uint32_t cylinder_skip = 0;
    uint32_t head_skip = 0;
    bool lif_volume = false;    // record 0 is a LIF volume header
    uint32_t total_records = 0; // records of the image, modulo 2^32
    uint64_t image_bytes = 0;   // total_records * rec_size
};

// The plan as the options alone give it: every value given taken, every
// other one still open.
DumpPlan plan_from_options(const ConvertOptions& opts);

// Where the geometry came from, for the image size's refusal: "the LIF
// header" or "the defaults" when any of the three was not given.
const char* geometry_origin_text(const DumpPlan& plan);

// Whether -c, -h and -s were all given (1 to 256 each for a capture; any
// value but 0 for a dump).
bool geometry_all_given(const ConvertOptions& opts);

} // namespace imgconv
