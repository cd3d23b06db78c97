// The BPC word operations on the worked values and at the edges of the 16-bit range.
#include "romtools/bpc/bpc.h"

#include <gtest/gtest.h>

using namespace romtools;

namespace {

enum class Op { SignedAdd, UnsignedAdd, Rar, ClearBit15 };

struct Row {
    Op op;
    BpcWord before;
    int32_t operand; // addend or count
    BpcWord after;
    int carry;
    int overflow;
};

// Each row starts with both flags at 0.
const Row kWorkedValues[] = {
    {Op::SignedAdd, 32767, 1, -32768, 0, 1},
    {Op::SignedAdd, -1, -1, -2, 1, 0},
    {Op::SignedAdd, -1, 1, 0, 1, 0},
    {Op::SignedAdd, -32768, -1, 32767, 1, 1},
    {Op::SignedAdd, -32768, -32768, 0, 1, 1},
    {Op::SignedAdd, 32767, 32767, -2, 0, 1},
    {Op::SignedAdd, 100, -200, -100, 0, 0},
    {Op::UnsignedAdd, 65535, 1, 0, 1, 0},
    {Op::UnsignedAdd, 32767, 1, 32768, 0, 1},
    {Op::UnsignedAdd, 32768, 32768, 0, 1, 1},
    {Op::Rar, 1, 1, -32768, 0, 0},
    {Op::Rar, 1, 3, 8192, 0, 0},
    {Op::Rar, -32768, 1, 16384, 0, 0},
    {Op::Rar, 0x1234, 4, 0x4123, 0, 0},
    {Op::Rar, 0x1234, 16, 0x1234, 0, 0},
    {Op::Rar, -2, 0, -2, 0, 0},
    {Op::ClearBit15, -1, 0, 32767, 0, 0},
    {Op::ClearBit15, -32768, 0, 0, 0, 0},
};

void apply(const Row& r, BpcWord& word, int& carry, int& overflow) {
    switch (r.op) {
    case Op::SignedAdd:
        bpc_signed_add(word, r.operand, carry, overflow);
        break;
    case Op::UnsignedAdd:
        bpc_unsigned_add(word, r.operand, carry, overflow);
        break;
    case Op::Rar:
        bpc_rar(word, r.operand);
        break;
    case Op::ClearBit15:
        bpc_clear_bit15(word);
        break;
    }
}

} // namespace

TEST(BpcWord, WorkedValuesTable) {
    int index = 0;
    for (const Row& r : kWorkedValues) {
        BpcWord word = r.before;
        int carry = 0, overflow = 0;
        apply(r, word, carry, overflow);
        EXPECT_EQ(word, r.after) << "row " << index;
        EXPECT_EQ(carry, r.carry) << "row " << index;
        EXPECT_EQ(overflow, r.overflow) << "row " << index;
        ++index;
    }
}

TEST(BpcWord, FlagsAreOnlyEverSet) {
    BpcWord word = 1;
    int carry = 1, overflow = 1;
    bpc_signed_add(word, 2, carry, overflow);
    EXPECT_EQ(word, 3);
    EXPECT_EQ(carry, 1);
    EXPECT_EQ(overflow, 1);

    word = 65535;
    bpc_unsigned_add(word, 0, carry, overflow);
    EXPECT_EQ(word, 65535);
    EXPECT_EQ(carry, 1);
    EXPECT_EQ(overflow, 1);
}

TEST(BpcWord, RotationCountIsNotCutShort) {
    BpcWord by20 = 0x1234, by4 = 0x1234;
    bpc_rar(by20, 20);
    bpc_rar(by4, 4);
    EXPECT_EQ(by20, by4);
    EXPECT_EQ(by4, 0x4123);

    BpcWord negative = -12345;
    bpc_rar(negative, -3);
    EXPECT_EQ(negative, -12345);

    // Sixteen single steps come back to the start, through every position.
    BpcWord w = 0x0001;
    for (int step = 1; step <= 16; ++step) {
        bpc_rar(w, 1);
        EXPECT_EQ(bpc_unsigned_view(w), 0x10000 >> step) << "step " << step;
    }
}

TEST(BpcWord, UnsignedAddStaysInUnsignedView) {
    for (int32_t a : {0, 1, 2, 32767, 32768, 65534, 65535}) {
        for (int32_t b : {0, 1, 32768, 65535}) {
            BpcWord word = a;
            int carry = 0, overflow = 0;
            bpc_unsigned_add(word, b, carry, overflow);
            EXPECT_EQ(word, (a + b) % 65536) << a << " + " << b;
            EXPECT_EQ(carry, a + b > 65535 ? 1 : 0) << a << " + " << b;
        }
    }
    // A negative sum reads as a huge unsigned number and carries.
    BpcWord word = 5;
    int carry = 0, overflow = 0;
    bpc_unsigned_add(word, -10, carry, overflow);
    EXPECT_EQ(word, 65531);
    EXPECT_EQ(carry, 1);
}

TEST(BpcWord, ClearBit15OfNegativeWords) {
    for (BpcWord w : {-1, -2, -32768, -32767, -12345}) {
        BpcWord cleared = w;
        bpc_clear_bit15(cleared);
        EXPECT_GE(cleared, 0);
        EXPECT_LE(cleared, 32767);
        EXPECT_EQ(cleared, w + 32768) << w;
    }
    BpcWord positive = 0x1234;
    bpc_clear_bit15(positive);
    EXPECT_EQ(positive, 0x1234);
}
