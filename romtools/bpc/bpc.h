// The 16-bit word arithmetic of the BPC processor: adds with carry and overflow, rotation, bit 15.
#pragma once

#include <cstdint>

namespace romtools {

// One 16-bit word in its signed view, -32768..32767 (the unsigned view, 0..65535,
// where an operation says so).
using BpcWord = int32_t;

constexpr int32_t kBpcWordModulus = 65536; // number of 16-bit patterns
constexpr int32_t kBpcSignedMax = 32767;
constexpr int32_t kBpcSignedMin = -32768;
constexpr int32_t kBpcUnsignedMax = 65535;
constexpr int kBpcWordBits = 16;

// Unsigned view of a signed-view word: negative values get 65536 added.
inline int64_t bpc_unsigned_view(int64_t word) {
    return word < 0 ? word + kBpcWordModulus : word;
}

// Signed view of an unsigned-view word: values above 32767 lose 65536.
inline int64_t bpc_signed_view(int64_t word) {
    return word > kBpcSignedMax ? word - kBpcWordModulus : word;
}

// word += addend modulo 65536, both in the signed view. The flags are owned by the
// caller: they are set to 1 on a carry out of bit 15 or a signed overflow and
// never cleared here.
inline void bpc_signed_add(BpcWord& word, int32_t addend, int& carry, int& overflow) {
    const int64_t full = static_cast<int64_t>(word) + addend;
    if (full < kBpcSignedMin || full > kBpcSignedMax)
        overflow = 1;
    int64_t sum = bpc_unsigned_view(word) + bpc_unsigned_view(addend);
    if (sum > kBpcUnsignedMax) {
        sum -= kBpcWordModulus;
        carry = 1;
    }
    word = static_cast<BpcWord>(bpc_signed_view(sum));
}

// word += addend modulo 65536, both in the unsigned view; the result stays in 0..65535.
// Flags as for bpc_signed_add. A negative operand reads as a huge unsigned sum and
// so sets the carry flag.
inline void bpc_unsigned_add(BpcWord& word, int32_t addend, int& carry, int& overflow) {
    const int64_t signed_sum = bpc_signed_view(word) + bpc_signed_view(addend);
    if (signed_sum < kBpcSignedMin || signed_sum > kBpcSignedMax)
        overflow = 1;
    const uint32_t raw = static_cast<uint32_t>(word) + static_cast<uint32_t>(addend);
    if (raw > static_cast<uint32_t>(kBpcUnsignedMax))
        carry = 1;
    word = static_cast<BpcWord>(raw & static_cast<uint32_t>(kBpcUnsignedMax));
}

// Rotates the 16-bit pattern right by count positions (none for count <= 0) and
// leaves it in the signed view. Sixteen positions give the pattern back, so only
// the remainder of the count needs doing.
inline void bpc_rar(BpcWord& word, int count) {
    uint32_t u = static_cast<uint32_t>(bpc_unsigned_view(word)) & kBpcUnsignedMax;
    if (count > 0) {
        const int steps = count % kBpcWordBits;
        if (steps != 0)
            u = ((u >> steps) | (u << (kBpcWordBits - steps))) & kBpcUnsignedMax;
    }
    word = static_cast<BpcWord>(bpc_signed_view(u));
}

// Clears bit 15; the result is in 0..32767.
inline void bpc_clear_bit15(BpcWord& word) {
    constexpr uint32_t kLow15Bits = 0x7FFF;
    word = static_cast<BpcWord>(static_cast<uint32_t>(bpc_unsigned_view(word)) & kLow15Bits);
}

} // namespace romtools
