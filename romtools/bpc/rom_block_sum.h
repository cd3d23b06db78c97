// The block sum of a ROM image: verify (end-around-carry sum) and checksum (rotating sum), and the
// verdict.
#pragma once

#include "romtools/bpc/bpc.h"

#include <cstddef>

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

// Bytes of image that blocksum reads and sums at a time: whole blocks of it,
// 32 of the largest. Enough blocks for every lane of the widest path, and small
// enough to stay in the L2 cache between the read and the sums.
constexpr size_t kRomBatchBytes = 256 * 1024;

// How rom_block_sums goes through a batch. The blocks are independent, so
// their per-word chains can run side by side: sse2 gives 8 blocks a 16-bit
// lane each (every x86-64 build), avx2 16 (Linux builds, on CPUs that have
// it), scalar interleaves 4 blocks in ordinary registers. All give exactly
// rom_block_sum's results; best picks the widest one this build and CPU have.
enum class RomSumPath { best, scalar, sse2, avx2 };

// Whether this build and CPU can take `path` (best and scalar always can).
bool rom_sum_path_available(RomSumPath path);

// The sums of `blocks` consecutive blocks of `words` words each (1..4096),
// held in blocks * 2 * words bytes, into sums[0] to sums[blocks - 1]. A path
// that is not available falls back to scalar. Blocks left over from the
// lanes, and words of a block left over from the 8-word steps of the vector
// paths, go through the scalar loop.
void rom_block_sums(const unsigned char* bytes, size_t words, size_t blocks, RomSumMode mode,
                    RomBlockSum* sums, RomSumPath path = RomSumPath::best);

RomVerdict rom_verdict(const RomBlockSum& sum, RomSumMode mode);

} // namespace romtools
