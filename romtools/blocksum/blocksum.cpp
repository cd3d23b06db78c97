// blocksum's command line and block loop.
#include "romtools/blocksum/blocksum.h"

#include "romtools/batch_buffer.h"

#include "common/exit_status.h"
#include "common/input_file.h"
#include "common/parse_number.h"
#include "common/version.h"

#include <cstring>
#include <vector>

namespace romtools {

namespace {

void print_usage(FILE* out, const char* program) {
    std::fprintf(out, "Usage: %s [-plain] [-blocksize <blocksize>] <ROM image>\n", program);
    std::fprintf(out, "       <ROM image>  HP combined ROM image file (16K)\n");
}

// Reads the image a batch of whole blocks at a time until it ends, and
// reports each block. A short last block is neither summed nor reported; a
// warning after the last report line says how many bytes that left out. A
// failed read still reports every whole block it delivered.
int check_image(FILE* image, const char* name, size_t words, RomSumMode mode, FILE* out,
                const common::Reporter& report) {
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
            report.error("Read error on file \"%s\" (%d bytes read)\n", name,
                         static_cast<int>(tail));
            return common::kExitFailure;
        }
        if (tail > 0)
            report.warning("the last %lu bytes of the image (less than one block) were not "
                           "checked.\n",
                           static_cast<unsigned long>(tail));
        return common::kExitDone;
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
        else
            settings.unread.push_back(argv[i]);
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
    if (common::asks_for_version(argc, argv)) {
        common::print_version(out, "blocksum");
        return common::kExitDone;
    }
    const char* program = argc > 0 ? argv[0] : "blocksum";
    BlocksumSettings settings;
    if (argc < 2 || scan_blocksum_args(argc, argv, settings) == ArgScan::usage || !settings.image) {
        print_usage(out, program);
        return common::kExitDone;
    }
    // Warnings stand between the report lines, failures go apart.
    const common::Reporter report(out, err);
    size_t words = kRomBlockWords;
    if (settings.block_size_text && !parse_block_size(settings.block_size_text, words)) {
        report.error("Invalid block size \"%s\" (1 to %lu words).\n", settings.block_size_text,
                     static_cast<unsigned long>(kRomBlockWords));
        return common::kExitFailure;
    }
    for (const char* unread : settings.unread)
        report.warning("only the first image is checked; \"%s\" is not read.\n", unread);
    FILE* image = common::open_input(settings.image);
    if (!image) {
        report.error("Could not open file \"%s\".\n", settings.image);
        return common::kExitFailure;
    }
    // Each batch is read straight into its buffer, without a stream buffer
    // between.
    std::setvbuf(image, nullptr, _IONBF, 0);
    int status = check_image(image, settings.image, words, settings.mode, out, report);
    std::fclose(image);
    if (status == common::kExitDone && !finish_report(out, report))
        status = common::kExitFailure;
    return status;
}

} // namespace romtools
