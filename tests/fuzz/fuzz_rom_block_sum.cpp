// Fuzzes the ROM block sums, one block and batches on every path, against the BPC word operations.
#include "romtools/bpc/rom_block_sum.h"
#include "romtools/bpc/stepwise_sum.h"

#include <cstdint>
#include <vector>

using namespace romtools;

namespace {

bool same(const RomBlockSum& a, const RomBlockSum& b) {
    return a.verify == b.verify && a.checksum == b.checksum;
}

} // namespace

// The first two bytes choose the block size (1..4096 words); the rest is a
// batch of as many whole blocks as it holds.
extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const size_t words = 1 + ((size_t{data[0]} << 8 | data[1]) % kRomBlockWords);
    const size_t block_bytes = words * kBytesPerRomWord;
    const size_t blocks = (size - 2) / block_bytes;
    if (blocks == 0)
        return 0;
    // An exact-size copy, so that a read past the batch is caught.
    const std::vector<unsigned char> batch(data + 2, data + 2 + blocks * block_bytes);
    std::vector<RomBlockSum> want(blocks), got(blocks);
    for (RomSumMode mode : {RomSumMode::normal, RomSumMode::plain}) {
        for (size_t b = 0; b < blocks; ++b) {
            want[b] = stepwise_sum(batch.data() + b * block_bytes, words, mode);
            if (!same(rom_block_sum(batch.data() + b * block_bytes, words, mode), want[b]))
                __builtin_trap();
            if (want[b].verify < -32768 || want[b].verify > 32767 || want[b].checksum < -32768 ||
                want[b].checksum > 32767)
                __builtin_trap();
        }
        for (RomSumPath path :
             {RomSumPath::scalar, RomSumPath::sse2, RomSumPath::avx2, RomSumPath::best}) {
            if (!rom_sum_path_available(path))
                continue;
            rom_block_sums(batch.data(), words, blocks, mode, got.data(), path);
            for (size_t b = 0; b < blocks; ++b)
                if (!same(got[b], want[b]))
                    __builtin_trap();
        }
    }
    return 0;
}
