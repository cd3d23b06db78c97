// LIF volume probe: disk geometry from the volume header, interleave from where the directory lies.
#pragma once

#include "imgconv/options.h"

#include <cstdint>
#include <cstdio>

namespace imgconv {

// Byte offsets of the volume header fields and of the directory record field read here.
constexpr uint32_t kLifDirStartOffset = 8;   // record number of the directory
constexpr uint32_t kLifFileStartOffset = 12; // in a directory record: first file's record
constexpr uint32_t kLifDirSizeOffset = 16;   // directory length in records
constexpr uint32_t kLifTracksOffset = 24;    // tracks per surface
constexpr uint32_t kLifSurfacesOffset = 28;  // number of surfaces
constexpr uint32_t kLifSectorsOffset = 32;   // sectors per track

// Geometry used for a disk that is not a LIF volume.
constexpr uint32_t kDefaultCylinders = 33;
constexpr uint32_t kDefaultHeads = 2;
constexpr uint32_t kDefaultSectors = 16;
constexpr int32_t kDefaultInterleave = 2;

// Four bytes, most significant first.
inline uint32_t get_be32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

// A LIF volume header starts with the identifier bytes 0x80 0x00; nothing else is tested.
bool is_lif_header(const unsigned char* record);

// Completes cylinders, heads, sectors and interleave of `opts` from record 0
// (already in `record_buffer`, at least 36 bytes of it valid or zero), reading
// further records of `input` for the interleave scan. Warnings and, when
// verbose, the geometry summary go to `out`; read failures to `err`.
// Returns 0, or -1 when a read of the scan failed.
int probe_media(ConvertOptions& opts, FILE* input, unsigned char* record_buffer, FILE* out,
                FILE* err);

} // namespace imgconv
