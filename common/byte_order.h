// Multi-byte numbers of the HP data, decoded byte by byte in the order the data stores them.
#pragma once

#include <cstdint>

namespace common {

// Two bytes, most significant first.
inline uint16_t get_be16(const unsigned char* p) {
    return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

// Four bytes, most significant first.
inline uint32_t get_be32(const unsigned char* p) {
    return static_cast<uint32_t>(p[0]) << 24 | static_cast<uint32_t>(p[1]) << 16 |
           static_cast<uint32_t>(p[2]) << 8 | static_cast<uint32_t>(p[3]);
}

// Two bytes, least significant first (the HP-85/86/87 fields).
inline uint16_t get_le16(const unsigned char* p) {
    return static_cast<uint16_t>(p[1] << 8 | p[0]);
}

} // namespace common
