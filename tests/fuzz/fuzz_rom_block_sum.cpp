// Fuzzes the ROM block sum against the BPC word operations applied step by step, in both modes.
#include "romtools/bpc/rom_block_sum.h"
#include "stepwise_sum.h"

#include <cstdint>
#include <vector>

using namespace romtools;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const size_t words = size / kBytesPerRomWord;
    if (words == 0 || words > kRomBlockWords)
        return 0;
    // An exact-size copy, so that a read past the block is caught.
    const std::vector<unsigned char> block(data, data + words * kBytesPerRomWord);
    for (RomSumMode mode : {RomSumMode::normal, RomSumMode::plain}) {
        const RomBlockSum fast = rom_block_sum(block.data(), words, mode);
        const RomBlockSum slow = stepwise_sum(block.data(), words, mode);
        if (fast.verify != slow.verify || fast.checksum != slow.checksum)
            __builtin_trap();
        if (fast.verify < -32768 || fast.verify > 32767 || fast.checksum < -32768 ||
            fast.checksum > 32767)
            __builtin_trap();
    }
    return 0;
}
