// Command-line walk of hpfiles: command word, operands, option words and the usage text.
#include "hpfiles/command_line.h"

#include "common/parse_number.h"

#include <cstring>

namespace hpfiles {

namespace {

bool is(const char* arg, const char* word) {
    return std::strcmp(arg, word) == 0;
}

// Where a geometry option stores its value.
struct GeometryOption {
    const char* word;
    uint32_t Settings::*field;
};

constexpr GeometryOption kGeometryOptions[] = {
    {"-c", &Settings::cylinders},
    {"-h", &Settings::heads},
    {"-s", &Settings::sectors},
};

// Sorts the operands after the command word into the settings; false when
// their number does not fit the command.
bool take_operands(const std::vector<const char*>& operands, Settings& settings) {
    if (operands.empty())
        return false;
    settings.disk_path = operands[0];
    switch (settings.command) {
    case Command::list:
        return operands.size() == 1;
    case Command::get:
        settings.names.assign(operands.begin() + 1, operands.end());
        return true;
    case Command::text:
        if (operands.size() < 2 || operands.size() > 3)
            return false;
        settings.names.assign(1, operands[1]);
        if (operands.size() == 3)
            settings.text_output = operands[2];
        return true;
    }
    return false;
}

} // namespace

CommandLine parse_command_line(int argc, char* const argv[], Settings& settings) {
    settings = Settings();
    if (argc < 2)
        return CommandLine::usage;
    const char* word = argv[1];
    if (is(word, "list"))
        settings.command = Command::list;
    else if (is(word, "get"))
        settings.command = Command::get;
    else if (is(word, "text"))
        settings.command = Command::text;
    else
        return CommandLine::usage;

    std::vector<const char*> operands;
    bool options_end = false;
    for (int i = 2; i < argc; ++i) {
        const char* arg = argv[i];
        if (options_end || arg[0] != '-') {
            operands.push_back(arg);
            continue;
        }
        const bool has_value = i + 1 < argc;
        bool matched = false;
        for (const GeometryOption& o : kGeometryOptions) {
            if (!has_value || !is(arg, o.word))
                continue;
            settings.*o.field = common::parse_number(argv[++i]);
            settings.geometry_given = true;
            matched = true;
            break;
        }
        if (matched)
            continue;
        if (is(arg, "--")) {
            options_end = true;
        } else if (is(arg, "--tsv") && settings.command == Command::list) {
            settings.tsv = true;
        } else if (is(arg, "--purged") && settings.command == Command::get) {
            settings.purged = true;
        } else if (is(arg, "-o") && has_value && settings.command == Command::get) {
            settings.output_dir = argv[++i];
        } else {
            return CommandLine::usage;
        }
    }
    return take_operands(operands, settings) ? CommandLine::run : CommandLine::usage;
}

void print_usage(FILE* out, const char* program) {
    std::fprintf(out, "Usage: %s list <DISK> [--tsv]\n", program);
    std::fprintf(out, "       %s get <DISK> [<NAME>...] [-o <DIR>] [--purged]\n", program);
    std::fprintf(out, "       %s text <DISK> <NAME> [<OUT>]\n", program);
    std::fprintf(out, "       %s --version | --help\n\n", program);
    std::fprintf(out, "where\n");
    std::fprintf(out, "        <DISK>  HP-order disk image (256-byte records), or an ImageDisk or\n"
                      "                TeleDisk capture placed in memory as imgconv places it\n");
    std::fprintf(out, "        <NAME>  file name as list shows it (\\xHH for other bytes);\n"
                      "                get without a name writes every file\n");
    std::fprintf(out, "        <DIR>   existing folder the files are written to (default: the\n"
                      "                current folder), each as NAME.TYPE\n");
    std::fprintf(out, "        <OUT>   text file (default: standard output)\n");
    std::fprintf(out, "        list --tsv    one tab-separated line per entry, for scripts\n");
    std::fprintf(out, "        get --purged  purged entries too\n");
    std::fprintf(out, "With a capture as DISK: [-c <cylinders>] [-h <heads>] [-s <sectors>], as "
                      "for imgconv.\n");
    std::fprintf(out, "Options end at \"--\".\n");
}

} // namespace hpfiles
