// basiclist's run settings and how its command line fills them.
#pragma once

#include <cstdio>

namespace basiclist {

// What one run lists and where to.
struct Settings {
    const char* input_path = nullptr;
    const char* output_path = nullptr; // none: the listing goes to standard output
    bool verbose = false;              // accepted; changes no output
};

enum class CommandLine {
    run,   // settings hold an input file name
    usage, // print the usage text and end with status 0
};

// Reads the arguments after the program name: "-v" sets verbose, any other
// argument starting with '-' asks for the usage text, the first other argument
// is the input and the last later one the output.
CommandLine parse_command_line(int argc, char* argv[], Settings& settings);

// The three-line usage text; `program` is the name the program was invoked by.
void print_usage(FILE* out, const char* program);

} // namespace basiclist
