// blocksum's command line and block loop.
#include "romtools/blocksum.h"

#include "common/exit_status.h"
#include "common/parse_number.h"

#include <cstring>

namespace romtools {

namespace {

void print_usage(FILE* out, const char* program) {
    std::fprintf(out, "Usage: %s [-plain] [-blocksize <blocksize>] <ROM image>\n", program);
    std::fprintf(out, "       <ROM image>  HP combined ROM image file (16K)\n");
}

// Bytes of the image stream's buffer.
constexpr size_t kImageBufferBytes = 64 * 1024;

// Reads the image block after block until it ends. A short last block is
// neither summed nor reported.
int check_image(FILE* image, const char* name, size_t words, RomSumMode mode, FILE* out,
                FILE* err) {
    unsigned char block[kRomBlockBytes];
    const size_t block_bytes = words * kBytesPerRomWord;
    for (long long number = 0;; ++number) {
        const size_t got = std::fread(block, 1, block_bytes, image);
        if (got < block_bytes) {
            if (std::ferror(image)) {
                std::fprintf(err, "Read error on file \"%s\" (%d bytes read)\n", name,
                             static_cast<int>(got));
                return common::kExitFailure;
            }
            return common::kExitDone;
        }
        const RomBlockSum sum = rom_block_sum(block, words, mode);
        print_block_report(out, number, sum, rom_verdict(sum, mode));
    }
}

} // namespace

ArgScan scan_blocksum_args(int argc, char* argv[], BlocksumSettings& settings) {
    int i = 1;
    while (i < argc) {
        if (std::strcmp(argv[i], "-plain") == 0) {
            settings.mode = RomSumMode::plain;
            ++i;
        }
        if (i < argc && std::strcmp(argv[i], "-blocksize") == 0) {
            if (i + 1 >= argc)
                return ArgScan::usage;
            settings.block_size_text = argv[i + 1];
            i += 2;
        }
        if (i >= argc)
            break;
        if (argv[i][0] == '-')
            return ArgScan::usage;
        if (!settings.image)
            settings.image = argv[i];
        ++i;
    }
    return ArgScan::run;
}

bool parse_block_size(const char* text, size_t& words) {
    const uint32_t value = common::parse_number(text);
    if (value < 1 || value > kRomBlockWords)
        return false;
    words = static_cast<size_t>(value);
    return true;
}

int run_blocksum(int argc, char* argv[], FILE* out, FILE* err) {
    const char* program = argc > 0 ? argv[0] : "blocksum";
    BlocksumSettings settings;
    if (argc < 2 || scan_blocksum_args(argc, argv, settings) == ArgScan::usage || !settings.image) {
        print_usage(out, program);
        return common::kExitDone;
    }
    size_t words = kRomBlockWords;
    if (settings.block_size_text && !parse_block_size(settings.block_size_text, words)) {
        std::fprintf(err, "Invalid block size \"%s\" (1 to %lu words).\n", settings.block_size_text,
                     static_cast<unsigned long>(kRomBlockWords));
        return common::kExitFailure;
    }
    // Read in 64 KiB steps rather than one system call per block; the buffer
    // outlives the stream, which is closed below.
    char image_buffer[kImageBufferBytes];
    FILE* image = std::fopen(settings.image, "rb");
    if (!image) {
        std::fprintf(err, "Could not open file \"%s\".\n", settings.image);
        return common::kExitFailure;
    }
    std::setvbuf(image, image_buffer, _IOFBF, sizeof image_buffer);
    int status = check_image(image, settings.image, words, settings.mode, out, err);
    std::fclose(image);
    if (status == common::kExitDone && !finish_report(out, err))
        status = common::kExitFailure;
    return status;
}

} // namespace romtools
