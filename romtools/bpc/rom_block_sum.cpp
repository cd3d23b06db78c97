// Block sums and verdicts of ROM words, with the outcome of the BPC word operations.
#include "romtools/bpc/rom_block_sum.h"

#include "common/output_file.h"

namespace romtools {

namespace {

// checksum turns right by 3 positions before each word, by 2 more when that
// leaves bit 15 set.
constexpr uint32_t kChecksumRotation = 3;
constexpr uint32_t kChecksumExtraRotation = 2;
constexpr uint32_t kLow16 = 0xFFFF;

// checksum turned right by 3 positions, or by 5 when the 3-position turn sets
// bit 15 (bit 2 before the turn). The pattern is doubled into 32 bits so that one
// shift by a computed count turns it, with no jump.
inline uint32_t turn_checksum(uint32_t checksum) {
    const uint32_t doubled = checksum | (checksum << kBpcWordBits);
    const uint32_t extra = (checksum >> (kChecksumRotation - 1)) & 1;
    const uint32_t turn = kChecksumRotation + extra * kChecksumExtraRotation;
    return (doubled >> turn) & kLow16;
}

// The per-word steps of the BPC routine (add the word to verify, with
// end-around carry in normal mode; rotate checksum right by 3, or by 5 when the
// 3-position turn sets bit 15; add the word to checksum with end-around carry)
// on the unsigned views. The outcome is exactly that of bpc_signed_add and
// bpc_rar step by step; it is written without jumps because carries and
// rotations change word by word, and images run to hundreds of megabytes.
template <RomSumMode kMode> RomBlockSum block_sum(const unsigned char* bytes, size_t words) {
    uint32_t verify = 0, checksum = 0;
    for (size_t j = 0; j < words; ++j) {
        const uint32_t w = get_be16(bytes + kBytesPerRomWord * j);
        const uint32_t v = verify + w;
        const uint32_t c = turn_checksum(checksum) + w;
        if constexpr (kMode == RomSumMode::normal) {
            verify = (v + (v >> kBpcWordBits)) & kLow16;
            checksum = (c + (c >> kBpcWordBits)) & kLow16;
        } else {
            verify = v & kLow16;
            // The carry of the verify add is still pending when the checksum
            // add begins and lands in checksum: the checksums on record were
            // computed that way. Both carries together add 1 once; a pending
            // carry on a sum of 0xFFFF carries once more.
            const uint32_t carry = (v | c) >> kBpcWordBits;
            const uint32_t once = (c & kLow16) + carry;
            checksum = (once + (once >> kBpcWordBits)) & kLow16;
        }
    }
    RomBlockSum sum;
    sum.verify = static_cast<BpcWord>(bpc_signed_view(verify));
    sum.checksum = static_cast<BpcWord>(bpc_signed_view(checksum));
    return sum;
}

} // namespace

RomBlockSum rom_block_sum(const unsigned char* bytes, size_t words, RomSumMode mode) {
    return mode == RomSumMode::normal ? block_sum<RomSumMode::normal>(bytes, words)
                                      : block_sum<RomSumMode::plain>(bytes, words);
}

RomVerdict rom_verdict(const RomBlockSum& sum, RomSumMode mode) {
    if (sum.verify == -1)
        return RomVerdict::sound;
    if (sum.verify == 0 && mode == RomSumMode::plain)
        return RomVerdict::no_rom_present;
    return RomVerdict::corrupt;
}

const char* rom_verdict_text(RomVerdict verdict) {
    switch (verdict) {
    case RomVerdict::sound:
        return "\t(ROM OK)\n";
    case RomVerdict::no_rom_present:
        return "\t(no ROM present)\n";
    case RomVerdict::corrupt:
        break;
    }
    return "\t(ROM currupt)\n";
}

void print_block_report(FILE* out, long long block, const RomBlockSum& sum, RomVerdict verdict) {
    // Block numbers beyond 2^31 - 1 occur for images past 4 GiB read in small blocks.
    std::fprintf(out, "block %lld: verify=%ld checksum=%ld%s", block, static_cast<long>(sum.verify),
                 static_cast<long>(sum.checksum), rom_verdict_text(verdict));
}

bool finish_report(FILE* out, FILE* err) {
    int error = 0;
    if (common::flush_checked(out, error))
        return true;
    common::report_write_error(err, "<stdout>", error);
    return false;
}

} // namespace romtools
