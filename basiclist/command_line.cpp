// Command line of basiclist: option words, file names and the usage text.
#include "basiclist/command_line.h"

#include <cstring>

namespace basiclist {

CommandLine parse_command_line(int argc, char* argv[], Settings& settings) {
    settings = Settings();
    for (int i = 1; i < argc; ++i) {
        const char* arg = argv[i];
        if (std::strcmp(arg, "-v") == 0)
            settings.verbose = true;
        else if (arg[0] == '-')
            return CommandLine::usage;
        else if (!settings.input_path)
            settings.input_path = arg;
        else
            settings.output_path = arg;
    }
    return settings.input_path ? CommandLine::run : CommandLine::usage;
}

void print_usage(FILE* out, const char* program) {
    std::fprintf(out, "Usage: %s <input file> [<output file>]\n", program);
    std::fprintf(out, "        <input file>  HP 9845 basic file\n");
    std::fprintf(out, "        -v            verbose mode\n");
}

} // namespace basiclist
