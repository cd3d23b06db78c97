// Block sums, verdicts and report lines of ROM words in normal and plain mode.
#include "romtools/bpc/rom_block_sum.h"

#include "romtools/block_report.h"

#include "capture.h"
#include "romtools/bpc/stepwise_sum.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

using namespace romtools;

namespace {

using Bytes = std::vector<unsigned char>;

// The four words 0x1234 0xABCD 0x8000 0xC1FD, most significant byte first.
const Bytes kWorkedBlock = {0x12, 0x34, 0xAB, 0xCD, 0x80, 0x00, 0xC1, 0xFD};

RomBlockSum sum_of(const Bytes& bytes, RomSumMode mode) {
    return rom_block_sum(bytes.data(), bytes.size() / 2, mode);
}

} // namespace

TEST(RomBlockSum, AgreesWithTheWordOperationsStepByStep) {
    uint32_t state = 2024;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<unsigned char>(state >> 24);
    };
    std::vector<Bytes> blocks;
    for (int b = 0; b < 48; ++b) {
        Bytes block(kRomBlockBytes);
        for (auto& byte : block)
            byte = next();
        blocks.push_back(block);
    }
    // Runs of large words, where carries meet: 0xFFFF, 0x8000, 0xFFFE, 0x7FFF.
    for (unsigned char high : {0xFF, 0x80, 0x7F}) {
        Bytes block(kRomBlockBytes);
        for (size_t i = 0; i < block.size(); i += 2) {
            block[i] = high;
            block[i + 1] = (i / 2) % 3 == 0 ? 0xFE : next();
        }
        blocks.push_back(block);
    }
    int index = 0;
    for (const Bytes& block : blocks) {
        for (RomSumMode mode : {RomSumMode::normal, RomSumMode::plain}) {
            const RomBlockSum want = stepwise_sum(block.data(), block.size() / 2, mode);
            const RomBlockSum got = sum_of(block, mode);
            EXPECT_EQ(got.verify, want.verify) << "block " << index;
            EXPECT_EQ(got.checksum, want.checksum) << "block " << index;
        }
        ++index;
    }
}

// Every path, forced in turn, on batches that fill the 16 and 8 lanes, the
// 4 interleaved blocks and single blocks (31 = 16 + 8 + 4 + 3), or fewer
// blocks than lanes (5), at block sizes of every remainder modulo 16.
TEST(RomBlockSum, EveryPathAgreesWithTheStepwiseSumOnBatches) {
    enum class Fill { Random, Zeros, Ones, Pairs8000, Mixed };
    uint32_t state = 1;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return static_cast<unsigned char>(state >> 24);
    };
    auto word_for = [&](Fill fill, size_t block, size_t j) -> uint16_t {
        switch (fill == Fill::Mixed ? static_cast<Fill>(block % 4) : fill) {
        case Fill::Zeros:
            return 0;
        case Fill::Ones:
            return 0xFFFF;
        case Fill::Pairs8000:
            return j % 3 == 2 ? next() : 0x8000;
        default:
            return static_cast<uint16_t>(next() << 8 | next());
        }
    };
    std::vector<size_t> sizes = {31, 33, 63, 255, 1000, 4093, 4095, 4096};
    for (size_t n = 1; n <= 17; ++n)
        sizes.push_back(n);
    for (const size_t words : sizes) {
        for (const size_t blocks : {size_t{31}, size_t{5}}) {
            for (const Fill fill :
                 {Fill::Random, Fill::Zeros, Fill::Ones, Fill::Pairs8000, Fill::Mixed}) {
                Bytes batch(blocks * words * 2);
                for (size_t b = 0; b < blocks; ++b)
                    for (size_t j = 0; j < words; ++j) {
                        const uint16_t w = word_for(fill, b, j);
                        batch[2 * (b * words + j)] = static_cast<unsigned char>(w >> 8);
                        batch[2 * (b * words + j) + 1] = static_cast<unsigned char>(w);
                    }
                for (RomSumMode mode : {RomSumMode::normal, RomSumMode::plain}) {
                    std::vector<RomBlockSum> want(blocks);
                    for (size_t b = 0; b < blocks; ++b)
                        want[b] = stepwise_sum(batch.data() + b * words * 2, words, mode);
                    for (RomSumPath path : {RomSumPath::scalar, RomSumPath::sse2, RomSumPath::avx2,
                                            RomSumPath::best}) {
                        if (!rom_sum_path_available(path))
                            continue;
                        std::vector<RomBlockSum> got(blocks, RomBlockSum{7, 7});
                        rom_block_sums(batch.data(), words, blocks, mode, got.data(), path);
                        for (size_t b = 0; b < blocks; ++b)
                            ASSERT_TRUE(got[b].verify == want[b].verify &&
                                        got[b].checksum == want[b].checksum)
                                << "path " << static_cast<int>(path) << " words " << words
                                << " fill " << static_cast<int>(fill) << " plain "
                                << (mode == RomSumMode::plain) << " block " << b << ": "
                                << got[b].verify << "/" << got[b].checksum << " want "
                                << want[b].verify << "/" << want[b].checksum;
                    }
                }
            }
        }
    }
}

TEST(RomBlockSum, PendingCarryOnAllOnesCarriesTwice) {
    // 0x8000 then 0xEFFF: the verify add carries; checksum turns from 0x8000 to
    // 0x1000, and 0x1000 + 0xEFFF = 0xFFFF. In plain mode the pending carry
    // makes that 0x0000 with a new carry, then 0x0001.
    const Bytes block = {0x80, 0x00, 0xEF, 0xFF};
    const RomBlockSum plain = sum_of(block, RomSumMode::plain);
    EXPECT_EQ(plain.verify, 0x6FFF);
    EXPECT_EQ(plain.checksum, 1);
    EXPECT_EQ(stepwise_sum(block.data(), block.size() / 2, RomSumMode::plain).checksum, 1);
    const RomBlockSum normal = sum_of(block, RomSumMode::normal);
    EXPECT_EQ(normal.verify, 0x7000);
    EXPECT_EQ(normal.checksum, -1);
}

TEST(RomBlockSum, WorkedExampleBothModes) {
    const RomBlockSum normal = sum_of(kWorkedBlock, RomSumMode::normal);
    EXPECT_EQ(normal.verify, -1);
    EXPECT_EQ(normal.checksum, 12618);
    EXPECT_EQ(rom_verdict(normal, RomSumMode::normal), RomVerdict::sound);

    // The carry out of word 2 is not added back into verify; checksum carries
    // on that word anyway, so it is the same.
    const RomBlockSum plain = sum_of(kWorkedBlock, RomSumMode::plain);
    EXPECT_EQ(plain.verify, -2);
    EXPECT_EQ(plain.checksum, 12618);
    EXPECT_EQ(rom_verdict(plain, RomSumMode::plain), RomVerdict::corrupt);

    // Word by word: the intermediate checksums of the worked block.
    const BpcWord after_each[] = {4660, 19551, 31331, 12618};
    for (size_t n = 1; n <= 4; ++n)
        EXPECT_EQ(rom_block_sum(kWorkedBlock.data(), n, RomSumMode::normal).checksum,
                  after_each[n - 1])
            << n << " words";
}

TEST(RomBlockSum, FullBlocksOfZerosAndOnes) {
    const Bytes zeros(kRomBlockBytes, 0x00), ones(kRomBlockBytes, 0xFF);
    for (RomSumMode mode : {RomSumMode::normal, RomSumMode::plain}) {
        const RomBlockSum z = sum_of(zeros, mode);
        EXPECT_EQ(z.verify, 0);
        EXPECT_EQ(z.checksum, 0);
        const RomBlockSum f = sum_of(ones, mode);
        EXPECT_EQ(f.checksum, -1);
        EXPECT_EQ(f.verify, mode == RomSumMode::normal ? -1 : -4096);
    }
    EXPECT_EQ(rom_verdict(sum_of(zeros, RomSumMode::normal), RomSumMode::normal),
              RomVerdict::corrupt);
    EXPECT_EQ(rom_verdict(sum_of(zeros, RomSumMode::plain), RomSumMode::plain),
              RomVerdict::no_rom_present);
    EXPECT_EQ(rom_verdict(sum_of(ones, RomSumMode::normal), RomSumMode::normal), RomVerdict::sound);
    EXPECT_EQ(rom_verdict(sum_of(ones, RomSumMode::plain), RomSumMode::plain), RomVerdict::corrupt);
}

TEST(RomBlockSum, PendingVerifyCarryReachesChecksumInPlainMode) {
    const Bytes pair = {0x80, 0x00, 0x80, 0x00};
    const RomBlockSum normal = sum_of(pair, RomSumMode::normal);
    EXPECT_EQ(normal.verify, 1);
    EXPECT_EQ(normal.checksum, -28672); // 0x9000
    const RomBlockSum plain = sum_of(pair, RomSumMode::plain);
    EXPECT_EQ(plain.verify, 0);
    EXPECT_EQ(plain.checksum, -28671); // 0x9001
}

TEST(RomBlockSum, OneWordBlockIsThatWord) {
    for (const Bytes& word :
         {Bytes{0x00, 0x01}, Bytes{0x7F, 0xFF}, Bytes{0x80, 0x00}, Bytes{0xC1, 0xFD}}) {
        const BpcWord w = static_cast<BpcWord>(bpc_signed_view(get_be16(word.data())));
        for (RomSumMode mode : {RomSumMode::normal, RomSumMode::plain}) {
            const RomBlockSum s = sum_of(word, mode);
            EXPECT_EQ(s.verify, w);
            EXPECT_EQ(s.checksum, w);
        }
    }
}

TEST(RomBlockSum, ReorderingKeepsVerifyButMovesChecksum) {
    Bytes reversed;
    for (size_t j = kWorkedBlock.size(); j >= 2; j -= 2) {
        reversed.push_back(kWorkedBlock[j - 2]);
        reversed.push_back(kWorkedBlock[j - 1]);
    }
    const RomBlockSum forward = sum_of(kWorkedBlock, RomSumMode::normal);
    const RomBlockSum backward = sum_of(reversed, RomSumMode::normal);
    EXPECT_EQ(backward.verify, forward.verify);
    EXPECT_EQ(backward.checksum, -28672);
    EXPECT_NE(backward.checksum, forward.checksum);
}

TEST(RomBlockSum, VerifyIsTheOnesComplementSum) {
    // A pseudo-random block whose last word makes the end-around sum all ones.
    Bytes block(kRomBlockBytes);
    uint32_t state = 12345, total = 0;
    for (size_t j = 0; j + 1 < kRomBlockWords; ++j) {
        state = state * 1103515245u + 12345u;
        const uint32_t w = (state >> 8) & 0xFFFF;
        block[2 * j] = static_cast<unsigned char>(w >> 8);
        block[2 * j + 1] = static_cast<unsigned char>(w);
        total += w;
    }
    while (total > 0xFFFF)
        total = (total & 0xFFFF) + (total >> 16);
    const uint32_t last = 0xFFFF - total;
    block[kRomBlockBytes - 2] = static_cast<unsigned char>(last >> 8);
    block[kRomBlockBytes - 1] = static_cast<unsigned char>(last);
    EXPECT_EQ(sum_of(block, RomSumMode::normal).verify, -1);

    block[100] ^= 0x10; // one bit flipped
    EXPECT_EQ(rom_verdict(sum_of(block, RomSumMode::normal), RomSumMode::normal),
              RomVerdict::corrupt);
}

TEST(RomBlockSum, ReportLinesAndVerdictTexts) {
    CapturedStream out;
    print_block_report(out.get(), 0, RomBlockSum{-1, 12618}, RomVerdict::sound);
    print_block_report(out.get(), 7, RomBlockSum{-2, -32768}, RomVerdict::corrupt);
    print_block_report(out.get(), 3000000000LL, RomBlockSum{0, 0}, RomVerdict::no_rom_present);
    EXPECT_EQ(out.text(), "block 0: verify=-1 checksum=12618\t(ROM OK)\n"
                          "block 7: verify=-2 checksum=-32768\t(ROM currupt)\n"
                          "block 3000000000: verify=0 checksum=0\t(no ROM present)\n");
    EXPECT_EQ(rom_verdict(RomBlockSum{0, 0}, RomSumMode::normal), RomVerdict::corrupt);
    EXPECT_EQ(rom_verdict(RomBlockSum{1, -1}, RomSumMode::plain), RomVerdict::corrupt);
}
