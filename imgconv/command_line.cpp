// Command-line walk of imgconv: whole-word options, base-0 numbers with 32-bit wrap-around.
#include "imgconv/command_line.h"

#include "common/parse_number.h"

#include <cstring>

namespace imgconv {

namespace {

// Where a numeric option stores its value.
struct NumericOption {
    const char* word;
    uint32_t ConvertOptions::*unsigned_field;
    int32_t ConvertOptions::*signed_field;
};

constexpr NumericOption kNumericOptions[] = {
    {"-c", &ConvertOptions::cylinders, nullptr},
    {"-h", &ConvertOptions::heads, nullptr},
    {"-s", &ConvertOptions::sectors, nullptr},
    {"-r", &ConvertOptions::rec_size, nullptr},
    {"-j", &ConvertOptions::junk, nullptr},
    {"-cskip", &ConvertOptions::cylinder_skip, nullptr},
    {"-hskip", &ConvertOptions::head_skip, nullptr},
    {"-cs", nullptr, &ConvertOptions::cylinder_skew},
    {"-hs", nullptr, &ConvertOptions::head_skew},
    {"-sc", &ConvertOptions::skew_count, nullptr},
    {"-i", nullptr, &ConvertOptions::interleave},
};

} // namespace

CommandLine parse_command_line(int argc, char* const argv[], ConvertOptions& opts) {
    if (argc < 2)
        return CommandLine::usage;
    bool have_input = false;
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        const bool has_value = i + 1 < argc;
        bool matched = false;
        for (const NumericOption& o : kNumericOptions) {
            if (!has_value || std::strcmp(arg, o.word) != 0)
                continue;
            const uint32_t value = common::parse_number(argv[++i]);
            if (o.unsigned_field)
                opts.*o.unsigned_field = value;
            else
                opts.*o.signed_field = static_cast<int32_t>(value);
            matched = true;
            break;
        }
        if (matched)
            continue;
        if (has_value && std::strcmp(arg, "-l") == 0) {
            opts.control_path = argv[++i];
        } else if (has_value && std::strcmp(arg, "-m") == 0) {
            const int32_t count = static_cast<int32_t>(common::parse_number(argv[++i]));
            if (count > kMaxMatchEntries)
                return CommandLine::matchlist_too_long;
            opts.match_count = count;
            if (count <= 0)
                continue;
            // Each pair is two more arguments; a list cut short is a usage error.
            if (argc - 1 - i < 2 * count)
                return CommandLine::usage;
            for (int32_t k = 0; k < count; ++k) {
                opts.match_entries[k].which = common::parse_number(argv[++i]);
                opts.match_entries[k].where = common::parse_number(argv[++i]);
            }
        } else if (std::strcmp(arg, "-v") == 0) {
            opts.verbose = true;
        } else if (arg[0] == '-') {
            return CommandLine::usage;
        } else if (!have_input) {
            opts.input_path = arg;
            have_input = true;
        } else {
            opts.output_path = arg;
        }
    }
    if (!have_input)
        return CommandLine::usage;
    if (opts.rec_size > kMaxRecSize)
        return CommandLine::rec_size_too_big;
    return CommandLine::run;
}

void print_usage(FILE* out, const char* program) {
    std::fprintf(out, "Usage: %s <input file> [<output file>]\n", program);
    std::fprintf(out, "        [-c <cylinders>][-h <heads>][-s <sectors>]\n");
    std::fprintf(out, "        [-r <rec_size>][-j <track junk>][-i <interleave>]\n");
    std::fprintf(out, "        [-cs <cylinder skew>][-hs <head skew>][-sc <skewcount>]\n");
    std::fprintf(out, "        [-cskip <cylinder skip>][-hskip <head skip>]\n");
    std::fprintf(out, "        [-l <control file>][-m <matchlist>][-v]\n\n");
    std::fprintf(out, "where\n");
    std::fprintf(out, "        <input file>    IMA image file\n");
    std::fprintf(out, "                        or an ImageDisk (IMD) or TeleDisk (TD0) capture\n");
    std::fprintf(out, "        <output file>   HP image file (default=\"image.bin\")\n");
    std::fprintf(out, "        <cylinders>     # of valid cylinders (default=auto)\n");
    std::fprintf(out, "        <heads>         # of valid heads resp. sides (default=auto)\n");
    std::fprintf(out, "        <sectors>       # of valid sectors per track (default=auto)\n");
    std::fprintf(out, "        <rec_size>      record resp. sector size of valid sectors "
                      "(default=256)\n");
    std::fprintf(out, "        <junk>          extra data at end of track (default=0)\n");
    std::fprintf(out, "        <cylinder skew> cylinder-to-cylinder skew factor of original disk "
                      "(default cs=0)\n");
    std::fprintf(out, "        <head skew>     head-to-head skew factor of original disk "
                      "(default hs=0)\n");
    std::fprintf(out, "        <skewcount>     # tracks to be skewed (default=all)\n");
    std::fprintf(out, "        <interleave>    n:1 interleave factor of original disk "
                      "(default=auto)\n");
    std::fprintf(out, "        <control file>  control transformation with SECSCAN v0.11 output "
                      "file\n");
    std::fprintf(out, "        <matchlist>     list of known transformations of the form 'n which "
                      "where which where ...'\n");
    std::fprintf(out, "        -v              verbose mode\n");
}

} // namespace imgconv
