// bytesplit's command line, its two output files and the block loop.
#include "bytesplit.h"

#include "rom_block_sum.h"
#include "same_file.h"
#include "version.h"

#include <cerrno>
#include <cstring>
#include <string>

namespace {

constexpr unsigned char kAllBits = 0xFF;
// Read-ahead of the ROM file: 8 blocks per system call rather than one.
constexpr size_t kStreamBufferBytes = 65536;

void print_usage(FILE* out, const char* program) {
    std::fprintf(out, "Usage: %s <ROM file>\n", program);
    std::fprintf(out, "       <ROM file>  HP ROM data file to be split\n");
}

// An output file being written, with the name its messages carry.
struct Output {
    std::string name;
    FILE* file = nullptr;
};

// Creates an output file. It is unbuffered: each block's one fwrite reaches the
// file at once, so a full disk shows as the failure of that very block, after
// its report line and before the next one. Any stream buffer, even one of
// exactly one block, would hold a block back and report the failure later,
// after report lines for blocks that never reached the disk.
bool create(Output& output) {
    output.file = std::fopen(output.name.c_str(), "wb");
    if (output.file)
        std::setvbuf(output.file, nullptr, _IONBF, 0);
    return output.file != nullptr;
}

// Writes one block; false (message printed) when the stream reports an error.
bool write_block(Output& output, const unsigned char* bytes, FILE* err) {
    if (std::fwrite(bytes, 1, kSplitBlockBytes, output.file) < kSplitBlockBytes &&
        std::ferror(output.file)) {
        std::fprintf(err, "Write error on file \"%s\" #%d\n", output.name.c_str(), errno);
        return false;
    }
    return true;
}

// Flushes and closes an output; false (message printed) when its data did not
// reach the file.
bool finish(Output& output, FILE* err) {
    FILE* f = output.file;
    output.file = nullptr;
    errno = 0;
    const bool flushed = std::fflush(f) == 0 && !std::ferror(f);
    int error = errno;
    const bool closed = std::fclose(f) == 0;
    if (flushed && closed)
        return true;
    if (flushed)
        error = errno;
    std::fprintf(err, "Write error on file \"%s\" #%d\n", output.name.c_str(), error);
    return false;
}

// Refuses an output that a link or another spelling leads back to the ROM
// file: opening it for writing would empty the ROM before it is read.
bool output_is_input(const Output& output, const char* rom_name, FILE* err) {
    if (!same_file(output.name.c_str(), rom_name))
        return false;
    std::fprintf(err, "Output file \"%s\" is the input file \"%s\"; it is not overwritten.\n",
                 output.name.c_str(), rom_name);
    return true;
}

// Reads, reports and splits block after block until the input ends.
int split_blocks(FILE* rom, const char* rom_name, Output& high, Output& low, FILE* out, FILE* err) {
    unsigned char block[kRomBlockBytes];
    unsigned char high_bytes[kSplitBlockBytes];
    unsigned char low_bytes[kSplitBlockBytes];
    for (long long number = 0;; ++number) {
        const size_t got = std::fread(block, 1, kRomBlockBytes, rom);
        if (got < kRomBlockBytes) {
            if (std::ferror(rom)) {
                std::fprintf(err, "Read error on file \"%s\" (%d bytes read)\n", rom_name,
                             static_cast<int>(got));
                return -1;
            }
            if (got == 0)
                return 0;
            // A short last block is padded with zero words: they leave verify
            // unchanged and make the output bytes FF.
            std::memset(block + got, 0, kRomBlockBytes - got);
        }
        const RomBlockSum sum = rom_block_sum(block, kRomBlockWords, RomSumMode::Normal);
        print_block_report(out, number, sum, rom_verdict(sum, RomSumMode::Normal));
        split_complemented(block, kRomBlockWords, high_bytes, low_bytes);
        if (!write_block(high, high_bytes, err) || !write_block(low, low_bytes, err))
            return -1;
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
    if (asks_for_version(argc, argv)) {
        print_version(out, "bytesplit");
        return 0;
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
        return 0;
    }
    Output high, low;
    high.name = std::string(rom_name) + "_high";
    low.name = std::string(rom_name) + "_low";

    FILE* rom = std::fopen(rom_name, "rb");
    if (!rom) {
        std::fprintf(err, "Could not open file \"%s\".\n", rom_name);
        return -1;
    }
    if (output_is_input(high, rom_name, err) || output_is_input(low, rom_name, err)) {
        std::fclose(rom);
        return -1;
    }
    char rom_buffer[kStreamBufferBytes];
    std::setvbuf(rom, rom_buffer, _IOFBF, sizeof rom_buffer);
    int status = -1;
    if (!create(high)) {
        std::fprintf(err, "Could not create file \"%s\".\n", high.name.c_str());
    } else if (same_file(low.name.c_str(), high.name.c_str())) {
        // Two streams on one file would each overwrite the other's blocks.
        std::fprintf(err, "Output file \"%s\" is the output file \"%s\"; nothing written.\n",
                     low.name.c_str(), high.name.c_str());
    } else {
        if (!create(low))
            std::fprintf(err, "Could not create file \"%s\".\n", low.name.c_str());
        else
            status = split_blocks(rom, rom_name, high, low, out, err);
    }
    std::fclose(rom);
    // Success only once both files are on disk; after a failure they are closed
    // quietly, the first message being the one that counts.
    if (status == 0) {
        const bool high_ok = finish(high, err);
        const bool low_ok = finish(low, err);
        if (!high_ok || !low_ok || !finish_report(out, err))
            status = -1;
    }
    if (high.file)
        std::fclose(high.file);
    if (low.file)
        std::fclose(low.file);
    return status;
}
