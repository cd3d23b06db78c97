// The LIF volume header fields that imgconv reads, shared by the dump probe and the capture
// placement.
#pragma once

#include "common/byte_order.h"

#include <cstdint>

namespace imgconv {

using common::get_be32;

// The identifier that opens a LIF volume header.
constexpr unsigned char kLifIdFirst = 0x80;
constexpr unsigned char kLifIdSecond = 0x00;

// Byte offsets of the volume header fields and of the directory record field read here.
constexpr uint32_t kLifDirStartOffset = 8;   // record number of the directory
constexpr uint32_t kLifFileStartOffset = 12; // in a directory record: first file's record
constexpr uint32_t kLifDirSizeOffset = 16;   // directory length in records
constexpr uint32_t kLifTracksOffset = 24;    // tracks per surface
constexpr uint32_t kLifSurfacesOffset = 28;  // number of surfaces
constexpr uint32_t kLifSectorsOffset = 32;   // sectors per track

// A LIF volume header starts with the identifier bytes 0x80 0x00; nothing else is tested.
inline bool is_lif_header(const unsigned char* record) {
    return record[0] == kLifIdFirst && record[1] == kLifIdSecond;
}

} // namespace imgconv
