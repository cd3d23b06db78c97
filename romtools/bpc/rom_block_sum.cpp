// Block sums and verdicts of ROM words, computed with the BPC word operations.
#include "rom_block_sum.h"

namespace {

// checksum turns right by 3 positions before each word, by 2 more when that
// leaves bit 15 set.
constexpr int kChecksumRotation = 3;
constexpr int kChecksumExtraRotation = 2;

} // namespace

RomBlockSum rom_block_sum(const unsigned char* bytes, size_t words, RomSumMode mode) {
    RomBlockSum sum;
    int overflow = 0; // set by the adds, read by nobody
    int carry = 0;
    for (size_t j = 0; j < words; ++j) {
        const BpcWord w = static_cast<BpcWord>(bpc_signed_view(get_be16(bytes + 2 * j)));
        carry = 0;
        bpc_signed_add(sum.verify, w, carry, overflow);
        if (mode == RomSumMode::Normal) {
            while (carry) {
                carry = 0;
                bpc_signed_add(sum.verify, 1, carry, overflow);
            }
        }
        // In plain mode a carry out of the verify add is still pending here and
        // lands in checksum below: the checksums on record were computed that way.
        bpc_rar(sum.checksum, kChecksumRotation);
        if (sum.checksum < 0)
            bpc_rar(sum.checksum, kChecksumExtraRotation);
        bpc_signed_add(sum.checksum, w, carry, overflow);
        while (carry) {
            carry = 0;
            bpc_signed_add(sum.checksum, 1, carry, overflow);
        }
    }
    return sum;
}

RomVerdict rom_verdict(const RomBlockSum& sum, RomSumMode mode) {
    if (sum.verify == -1)
        return RomVerdict::Sound;
    if (sum.verify == 0 && mode == RomSumMode::Plain)
        return RomVerdict::NoRomPresent;
    return RomVerdict::Corrupt;
}

const char* rom_verdict_text(RomVerdict verdict) {
    switch (verdict) {
    case RomVerdict::Sound:
        return "\t(ROM OK)\n";
    case RomVerdict::NoRomPresent:
        return "\t(no ROM present)\n";
    case RomVerdict::Corrupt:
        break;
    }
    return "\t(ROM currupt)\n";
}

void print_block_report(FILE* out, long long block, const RomBlockSum& sum, RomVerdict verdict) {
    // Block numbers beyond 2^31 - 1 occur for images past 4 GiB read in small blocks.
    std::fprintf(out, "block %lld: verify=%ld checksum=%ld%s", block, static_cast<long>(sum.verify),
                 static_cast<long>(sum.checksum), rom_verdict_text(verdict));
}
