// The block sum spelled out with the BPC word operations: the reference the fast sum must match.
#pragma once

#include "romtools/bpc/bpc.h"
#include "romtools/bpc/rom_block_sum.h"

#include <cstddef>

namespace romtools {

// The per-word steps spelled out with the BPC word operations, one flag each,
// the carry flag cleared only where the routine clears it.
inline RomBlockSum stepwise_sum(const unsigned char* bytes, size_t words, RomSumMode mode) {
    RomBlockSum s;
    int carry = 0, overflow = 0;
    for (size_t j = 0; j < words; ++j) {
        const unsigned char hi = bytes[2 * j], lo = bytes[2 * j + 1];
        const BpcWord w = (hi << 8 | lo) - (hi >= 0x80 ? 65536 : 0);
        carry = 0;
        bpc_signed_add(s.verify, w, carry, overflow);
        while (mode == RomSumMode::normal && carry) {
            carry = 0;
            bpc_signed_add(s.verify, 1, carry, overflow);
        }
        bpc_rar(s.checksum, 3);
        if (s.checksum < 0)
            bpc_rar(s.checksum, 2);
        bpc_signed_add(s.checksum, w, carry, overflow);
        while (carry) {
            carry = 0;
            bpc_signed_add(s.checksum, 1, carry, overflow);
        }
    }
    return s;
}

} // namespace romtools
