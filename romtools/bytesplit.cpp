// bytesplit's command line, its two output files and the block loop.
#include "romtools/bytesplit.h"

#include "romtools/bpc/rom_block_sum.h"

#include "common/exit_status.h"
#include "common/output_file.h"
#include "common/same_file.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace romtools {

namespace {

constexpr unsigned char kAllBits = 0xFF;
// Read-ahead of the ROM file: 8 blocks per system call rather than one.
constexpr size_t kStreamBufferBytes = 65536;

void print_usage(FILE* out, const char* program) {
    std::fprintf(out, "Usage: %s <ROM file>\n", program);
    std::fprintf(out, "       <ROM file>  HP ROM data file to be split\n");
}

// Creates an output file. It is unbuffered: each block's one fwrite reaches the
// file at once, so a full disk shows as the failure of that very block, after
// its report line and before the next one. Any stream buffer, even one of
// exactly one block, would hold a block back and report the failure later,
// after report lines for blocks that never reached the disk.
bool create(common::OutputFile& output, const std::string& name, FILE* err) {
    if (!output.open(name)) {
        std::fprintf(err, "Could not create file \"%s\".\n", name.c_str());
        return false;
    }
    std::setvbuf(output.get(), nullptr, _IONBF, 0);
    return true;
}

// Writes one block; false (message printed) when the stream reports an error.
bool write_block(common::OutputFile& output, const unsigned char* bytes, FILE* err) {
    if (std::fwrite(bytes, 1, kSplitBlockBytes, output.get()) < kSplitBlockBytes &&
        std::ferror(output.get())) {
        common::report_write_error(err, output.name(), errno);
        return false;
    }
    return true;
}

// Reads, reports and splits block after block until the input ends.
int split_blocks(FILE* rom, const char* rom_name, common::OutputFile& high, common::OutputFile& low,
                 FILE* out, FILE* err) {
    unsigned char block[kRomBlockBytes];
    unsigned char high_bytes[kSplitBlockBytes];
    unsigned char low_bytes[kSplitBlockBytes];
    for (long long number = 0;; ++number) {
        const size_t got = std::fread(block, 1, kRomBlockBytes, rom);
        if (got < kRomBlockBytes) {
            if (std::ferror(rom)) {
                std::fprintf(err, "Read error on file \"%s\" (%d bytes read)\n", rom_name,
                             static_cast<int>(got));
                return common::kExitFailure;
            }
            if (got == 0)
                return common::kExitDone;
            // A short last block is padded with zero words: they leave verify
            // unchanged and make the output bytes FF.
            std::memset(block + got, 0, kRomBlockBytes - got);
        }
        const RomBlockSum sum = rom_block_sum(block, kRomBlockWords, RomSumMode::normal);
        print_block_report(out, number, sum, rom_verdict(sum, RomSumMode::normal));
        split_complemented(block, kRomBlockWords, high_bytes, low_bytes);
        if (!write_block(high, high_bytes, err) || !write_block(low, low_bytes, err))
            return common::kExitFailure;
    }
}

} // namespace

void split_complemented(const unsigned char* words_in, size_t words, unsigned char* high,
                        unsigned char* low) {
    for (size_t j = 0; j < words; ++j) {
        high[j] = static_cast<unsigned char>(words_in[2 * j] ^ kAllBits);
        low[j] = static_cast<unsigned char>(words_in[2 * j + 1] ^ kAllBits);
    }
}

int run_bytesplit(int argc, char* argv[], FILE* out, FILE* err) {
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
    char rom_buffer[kStreamBufferBytes];
    std::setvbuf(rom, rom_buffer, _IOFBF, sizeof rom_buffer);
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
