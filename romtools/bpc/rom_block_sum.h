// The block sum of a ROM image: verify (end-around-carry sum) and checksum (rotating sum), and the
// verdict.
#pragma once

#include "romtools/bpc/bpc.h"

#include <cstddef>
#include <cstdio>

namespace romtools {

// Words in a block unless told otherwise, and the most a block buffer holds.
constexpr size_t kRomBlockWords = 4096;
constexpr size_t kBytesPerRomWord = 2;
constexpr size_t kRomBlockBytes = kRomBlockWords * kBytesPerRomWord;

// A ROM word as stored: most significant byte first.
inline uint16_t get_be16(const unsigned char* p) {
    return static_cast<uint16_t>((p[0] << 8) | p[1]);
}

struct RomBlockSum {
    BpcWord verify = 0;   // decides the verdict
    BpcWord checksum = 0; // order-dependent, printed beside it
};

// Normal: verify is the ones' complement (end-around carry) sum. Plain: verify is
// the sum modulo 65536, and an all-zero block reads as no ROM at all.
enum class RomSumMode { normal, plain };

enum class RomVerdict { sound, corrupt, no_rom_present };

// The sums of one block of `words` words (1 or more) held in 2 * words bytes.
RomBlockSum rom_block_sum(const unsigned char* bytes, size_t words, RomSumMode mode);

RomVerdict rom_verdict(const RomBlockSum& sum, RomSumMode mode);

// The text printed after a block's numbers, newline included.
const char* rom_verdict_text(RomVerdict verdict);

// Prints "block N: verify=V checksum=C" and the verdict text.
void print_block_report(FILE* out, long long block, const RomBlockSum& sum, RomVerdict verdict);

// Writes out what the report stream still buffers. The report lines are a
// result in their own right: false, after "Write error on file "<stdout>" #n",
// when any of them did not get through.
bool finish_report(FILE* out, FILE* err);

} // namespace romtools
