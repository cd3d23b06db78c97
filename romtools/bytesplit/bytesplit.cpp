// bytesplit's command line, its two output files and the split of words into bytes.
#include "romtools/bytesplit/bytesplit.h"
#include "romtools/bytesplit/split_workers.h"

#include "romtools/block_report.h"

#include "common/exit_status.h"
#include "common/input_file.h"
#include "common/output_file.h"
#include "common/report.h"
#include "common/same_file.h"
#include "common/version.h"

#include <string>

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
bool create(common::OutputFile& output, const std::string& name, const common::Reporter& report) {
    if (!output.open(name)) {
        report.error("Could not create file \"%s\".\n", name.c_str());
        return false;
    }
    std::setvbuf(output.get(), nullptr, _IONBF, 0);
    return true;
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
    // Warnings stand between the report lines, failures go apart.
    const common::Reporter report(out, err);
    common::OutputFile high, low;
    const std::string high_name = std::string(rom_name) + "_high";
    const std::string low_name = std::string(rom_name) + "_low";

    FILE* rom = common::open_input(rom_name);
    if (!rom) {
        report.error("Could not open file \"%s\".\n", rom_name);
        return common::kExitFailure;
    }
    // An output that a link or another spelling leads back to the ROM file
    // would empty the ROM before it is read, and two streams on one file
    // would each overwrite the other's blocks.
    if (common::output_is_same_file(high_name.c_str(), rom_name, "input file", err) ||
        common::output_is_same_file(low_name.c_str(), rom_name, "input file", err) ||
        common::output_is_same_file(low_name.c_str(), high_name.c_str(), "output file", err)) {
        std::fclose(rom);
        return common::kExitFailure;
    }
    // Each batch is read straight into its buffer.
    std::setvbuf(rom, nullptr, _IONBF, 0);
    int status = common::kExitFailure;
    if (create(high, high_name, report) && create(low, low_name, report))
        status = split_blocks(rom, rom_name, high, low, out, report);
    std::fclose(rom);
    // Success only once both files and the report are out; only then do the
    // two files take their places, one right after the other. After a
    // failure they are closed quietly as they go (and, where written beside
    // earlier outputs, removed), the first message being the one that counts.
    if (status == common::kExitDone) {
        const bool high_ok = high.complete(report);
        const bool low_ok = high_ok && low.complete(report);
        if (!low_ok || !finish_report(out, report) || !high.replace_output(report) ||
            !low.replace_output(report))
            status = common::kExitFailure;
    }
    return status;
}

} // namespace romtools
