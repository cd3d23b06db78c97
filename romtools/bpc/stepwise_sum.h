// A block's sums by their definition, step by step with the BPC word operations.
#pragma once

#include "romtools/bpc/bpc.h"
#include "romtools/bpc/rom_block_sum.h"

#include <cstddef>

namespace romtools {

// The definition of a block's RomBlockSum. For each word, most significant
// byte first, in order:
//   1. clear the carry flag and add the word to verify;
//   2. normal mode: while the carry flag is set, clear it and add 1 to verify
//      (end-around carry); plain mode skips this, so a carry of step 1 is
//      still pending at step 4;
//   3. turn checksum right by 3 positions, and by 2 more when that leaves it
//      negative (bit 15 set);
//   4. add the word to checksum, then while the carry flag is set, clear it
//      and add 1 to checksum.
// It is written for clarity, not speed: rom_block_sum and every path of
// rom_block_sums must give exactly its results, and the tests and the fuzzer
// hold them to it.
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
