// blocksum's command line and block loop.
#include "blocksum.h"

#include "batch_buffer.h"
#include "version.h"

#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

constexpr int kNumberBaseAuto = 0; // strtoul: 0x hex, leading 0 octal, else decimal

void print_usage(FILE* out, const char* program) {
    std::fprintf(out, "Usage: %s [-plain] [-blocksize <blocksize>] <ROM image>\n", program);
    std::fprintf(out, "       <ROM image>  HP combined ROM image file (16K)\n");
}

// Reads the image a batch of whole blocks at a time until it ends, and
// reports each block. A short last block is neither summed nor reported; a
// warning after the last report line says how many bytes that left out. A
// failed read still reports every whole block it delivered.
int check_image(FILE* image, const char* name, size_t words, RomSumMode mode, FILE* out,
                FILE* err) {
    const size_t block_bytes = words * kBytesPerRomWord;
    const size_t batch_blocks = kRomBatchBytes / block_bytes;
    BatchBuffer batch(batch_blocks * block_bytes);
    std::vector<RomBlockSum> sums(batch_blocks);
    for (long long number = 0;;) {
        const size_t got = std::fread(batch.data(), 1, batch.size(), image);
        const size_t blocks = got / block_bytes;
        rom_block_sums(batch.data(), words, blocks, mode, sums.data());
        for (size_t b = 0; b < blocks; ++b, ++number)
            print_block_report(out, number, sums[b], rom_verdict(sums[b], mode));
        if (got == batch.size())
            continue;
        const size_t tail = got - blocks * block_bytes;
        if (std::ferror(image)) {
            std::fprintf(err, "Read error on file \"%s\" (%d bytes read)\n", name,
                         static_cast<int>(tail));
            return -1;
        }
        if (tail > 0)
            std::fprintf(out,
                         "Warning: the last %lu bytes of the image (less than one block) were "
                         "not checked.\n",
                         static_cast<unsigned long>(tail));
        return 0;
    }
}

} // namespace

ArgScan scan_blocksum_args(int argc, char* argv[], BlocksumSettings& settings) {
    int i = 1;
    while (i < argc) {
        if (std::strcmp(argv[i], "-plain") == 0) {
            settings.mode = RomSumMode::Plain;
            ++i;
        }
        if (i < argc && std::strcmp(argv[i], "-blocksize") == 0) {
            if (i + 1 >= argc)
                return ArgScan::Usage;
            settings.block_size_text = argv[i + 1];
            i += 2;
        }
        if (i >= argc)
            break;
        if (argv[i][0] == '-')
            return ArgScan::Usage;
        if (!settings.image)
            settings.image = argv[i];
        else
            settings.unread.push_back(argv[i]);
        ++i;
    }
    return ArgScan::Run;
}

bool parse_block_size(const char* text, size_t& words) {
    const unsigned long value = std::strtoul(text, nullptr, kNumberBaseAuto);
    if (value < 1 || value > kRomBlockWords)
        return false;
    words = static_cast<size_t>(value);
    return true;
}

int run_blocksum(int argc, char* argv[], FILE* out, FILE* err) {
    if (asks_for_version(argc, argv)) {
        print_version(out, "blocksum");
        return 0;
    }
    const char* program = argc > 0 ? argv[0] : "blocksum";
    BlocksumSettings settings;
    if (argc < 2 || scan_blocksum_args(argc, argv, settings) == ArgScan::Usage || !settings.image) {
        print_usage(out, program);
        return 0;
    }
    size_t words = kRomBlockWords;
    if (settings.block_size_text && !parse_block_size(settings.block_size_text, words)) {
        std::fprintf(err, "Invalid block size \"%s\" (1 to %lu words).\n", settings.block_size_text,
                     static_cast<unsigned long>(kRomBlockWords));
        return -1;
    }
    for (const char* unread : settings.unread)
        std::fprintf(out, "Warning: only the first image is checked; \"%s\" is not read.\n",
                     unread);
    FILE* image = std::fopen(settings.image, "rb");
    if (!image) {
        std::fprintf(err, "Could not open file \"%s\".\n", settings.image);
        return -1;
    }
    // Each batch is read straight into its buffer, without a stream buffer
    // between.
    std::setvbuf(image, nullptr, _IONBF, 0);
    int status = check_image(image, settings.image, words, settings.mode, out, err);
    std::fclose(image);
    if (status == 0 && !finish_report(out, err))
        status = -1;
    return status;
}
