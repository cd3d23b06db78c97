// LIF volume probe: disk geometry from the volume header, interleave from where the directory lies.
#pragma once

#include "imgconv/lif_header.h"
#include "imgconv/options.h"
#include "imgconv/plan.h"

#include <cstdint>
#include <cstdio>

namespace imgconv {

// Geometry used for a disk that is not a LIF volume.
constexpr uint32_t kDefaultCylinders = 33;
constexpr uint32_t kDefaultHeads = 2;
constexpr uint32_t kDefaultSectors = 16;
constexpr int32_t kDefaultInterleave = 2;

// Starts `plan` from `opts` and completes its cylinders, heads, sectors and
// interleave, each with its origin, from record 0 (already in
// `record_buffer`, at least 36 bytes of it valid or zero), reading further
// records of `input` for the interleave scan. Warnings and, when verbose, the
// geometry summary go to `out`; read failures to `err`. Returns 0, or -1
// when a read of the scan failed.
int probe_media(const ConvertOptions& opts, FILE* input, unsigned char* record_buffer,
                DumpPlan& plan, FILE* out, FILE* err);

} // namespace imgconv
