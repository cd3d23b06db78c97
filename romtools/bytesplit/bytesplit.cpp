// bytesplit's command line, its two output files and the block loop.
#include "romtools/bytesplit/bytesplit.h"

#include "romtools/batch_buffer.h"
#include "romtools/block_report.h"

#include "common/exit_status.h"
#include "common/output_file.h"
#include "common/same_file.h"
#include "common/version.h"

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace romtools {

namespace {

constexpr unsigned char kAllBits = 0xFF;

void print_usage(FILE* out, const char* program) {
    std::fprintf(out, "Usage: %s <ROM file>\n", program);
    std::fprintf(out, "       <ROM file>  HP ROM data file to be split\n");
}

// Creates an output file. It is unbuffered: each batch's one fwrite goes to
// the file at once, so a full disk shows as the failure of that very batch,
// and the count of bytes that got through names the block that failed.
bool create(common::OutputFile& output, const std::string& name, FILE* err) {
    if (!output.open(name)) {
        std::fprintf(err, "Could not create file \"%s\".\n", name.c_str());
        return false;
    }
    std::setvbuf(output.get(), nullptr, _IONBF, 0);
    return true;
}

// Writes one batch's bytes for this output. On a failed write gives false
// and leaves in `failed_block` the batch's block whose bytes did not all
// reach the file, and in `error` the errno of the failure.
bool write_batch(common::OutputFile& output, const unsigned char* bytes, size_t size,
                 size_t& failed_block, int& error) {
    errno = 0;
    const size_t written = std::fwrite(bytes, 1, size, output.get());
    if (written == size || !std::ferror(output.get()))
        return true;
    error = errno;
    failed_block = written / kSplitBlockBytes;
    return false;
}

// Blocks per batch: each batch is read in one call and written to each
// output in one call.
constexpr size_t kBatchBlocks = kRomBatchBytes / kRomBlockBytes;

// Prints the report lines of the first `count` blocks of a batch whose first
// block is block number `base`, with the short-block warning after the
// padded one.
void report_blocks(FILE* out, long long base, const RomBlockSum* sums, size_t count,
                   size_t short_block, size_t short_bytes) {
    for (size_t b = 0; b < count; ++b) {
        print_block_report(out, base + static_cast<long long>(b), sums[b],
                           rom_verdict(sums[b], RomSumMode::normal));
        if (b == short_block)
            std::fprintf(out,
                         "Warning: block %lld is short (%lu bytes); it was padded with zero "
                         "words.\n",
                         base + static_cast<long long>(b), static_cast<unsigned long>(short_bytes));
    }
}

// Reads, sums, splits and writes a batch of blocks at a time until the input
// ends. A batch's report lines are printed once both its writes got through;
// after a failed write, the lines up to the block that did not reach the file.
int split_blocks(FILE* rom, const char* rom_name, common::OutputFile& high, common::OutputFile& low,
                 FILE* out, FILE* err) {
    BatchBuffer batch(kBatchBlocks * kRomBlockBytes);
    BatchBuffer high_bytes(kBatchBlocks * kSplitBlockBytes);
    BatchBuffer low_bytes(kBatchBlocks * kSplitBlockBytes);
    RomBlockSum sums[kBatchBlocks];
    constexpr size_t kNoShortBlock = kBatchBlocks;
    for (long long base = 0;; base += kBatchBlocks) {
        const size_t got = std::fread(batch.data(), 1, batch.size(), rom);
        size_t blocks = got / kRomBlockBytes;
        const size_t tail = got - blocks * kRomBlockBytes;
        const bool read_failed = got < batch.size() && std::ferror(rom);
        size_t short_block = kNoShortBlock;
        if (tail > 0 && !read_failed) {
            // A short last block is padded with zero words: they leave verify
            // unchanged and make the output bytes FF.
            std::memset(batch.data() + got, 0, kRomBlockBytes - tail);
            short_block = blocks++;
        }
        if (blocks > 0) {
            rom_block_sums(batch.data(), kRomBlockWords, blocks, RomSumMode::normal, sums);
            split_complemented(batch.data(), blocks * kRomBlockWords, high_bytes.data(),
                               low_bytes.data());
            const size_t size = blocks * kSplitBlockBytes;
            size_t failed_block = 0;
            int error = 0;
            common::OutputFile* failed = nullptr;
            if (!write_batch(high, high_bytes.data(), size, failed_block, error))
                failed = &high;
            else if (!write_batch(low, low_bytes.data(), size, failed_block, error))
                failed = &low;
            if (failed) {
                report_blocks(out, base, sums, failed_block + 1, short_block, tail);
                common::report_write_error(err, failed->name(), error);
                return common::kExitFailure;
            }
            report_blocks(out, base, sums, blocks, short_block, tail);
        }
        if (read_failed) {
            std::fprintf(err, "Read error on file \"%s\" (%d bytes read)\n", rom_name,
                         static_cast<int>(tail));
            return common::kExitFailure;
        }
        if (got < batch.size())
            return common::kExitDone;
    }
}

} // namespace

void split_complemented(const unsigned char* words_in, size_t words, unsigned char* high,
                        unsigned char* low) {
    size_t j = 0;
#ifdef __SSE2__
    // 16 words at a time. Read as 16-bit lanes of the CPU's (little-endian)
    // order, each lane holds the word's high byte in its low half.
    constexpr size_t kWordsPerStep = 16;
    const __m128i low_halves = _mm_set1_epi16(0x00FF);
    const __m128i all_bits = _mm_set1_epi8(static_cast<char>(kAllBits));
    for (; j + kWordsPerStep <= words; j += kWordsPerStep) {
        const unsigned char* in = words_in + kBytesPerRomWord * j;
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + 16));
        const __m128i hi =
            _mm_packus_epi16(_mm_and_si128(a, low_halves), _mm_and_si128(b, low_halves));
        const __m128i lo = _mm_packus_epi16(_mm_srli_epi16(a, 8), _mm_srli_epi16(b, 8));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(high + j), _mm_xor_si128(hi, all_bits));
        _mm_storeu_si128(reinterpret_cast<__m128i*>(low + j), _mm_xor_si128(lo, all_bits));
    }
#endif
    for (; j < words; ++j) {
        high[j] = static_cast<unsigned char>(words_in[2 * j] ^ kAllBits);
        low[j] = static_cast<unsigned char>(words_in[2 * j + 1] ^ kAllBits);
    }
}

int run_bytesplit(int argc, char* argv[], FILE* out, FILE* err) {
    if (common::asks_for_version(argc, argv)) {
        common::print_version(out, "bytesplit");
        return common::kExitDone;
    }
    const char* program = argc > 0 ? argv[0] : "bytesplit";
    const char* rom_name = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (argv[i][0] == '-') {
            rom_name = nullptr;
            break;
        }
        if (!rom_name)
            rom_name = argv[i];
    }
    if (!rom_name) {
        print_usage(out, program);
        return common::kExitDone;
    }
    common::OutputFile high, low;
    const std::string high_name = std::string(rom_name) + "_high";
    const std::string low_name = std::string(rom_name) + "_low";

    FILE* rom = std::fopen(rom_name, "rb");
    if (!rom) {
        std::fprintf(err, "Could not open file \"%s\".\n", rom_name);
        return common::kExitFailure;
    }
    // An output that a link or another spelling leads back to the ROM file
    // would empty the ROM before it is read.
    if (common::output_is_same_file(high_name.c_str(), rom_name, "input file", err) ||
        common::output_is_same_file(low_name.c_str(), rom_name, "input file", err)) {
        std::fclose(rom);
        return common::kExitFailure;
    }
    // Each batch is read straight into its buffer.
    std::setvbuf(rom, nullptr, _IONBF, 0);
    int status = common::kExitFailure;
    // Two streams on one file would each overwrite the other's blocks.
    if (create(high, high_name, err) &&
        !common::output_is_same_file(low_name.c_str(), high_name.c_str(), "output file", err) &&
        create(low, low_name, err))
        status = split_blocks(rom, rom_name, high, low, out, err);
    std::fclose(rom);
    // Success only once both files are on disk; after a failure they are closed
    // quietly as they go, the first message being the one that counts.
    if (status == common::kExitDone) {
        const bool high_ok = high.finish(err);
        const bool low_ok = low.finish(err);
        if (!high_ok || !low_ok || !finish_report(out, err))
            status = common::kExitFailure;
    }
    return status;
}

} // namespace romtools
