// The hpfiles command line: the command word, the disk, the names and the option words.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace hpfiles {

enum class Command { list, get, text };

// What one run is asked to do. Names are kept as typed (with their \xHH
// escapes); the run turns them into name bytes.
struct Settings {
    Command command = Command::list;
    const char* disk_path = nullptr;
    std::vector<std::string> names;    // get: any number; text: exactly one
    const char* output_dir = nullptr;  // get -o; none: the current folder
    const char* text_output = nullptr; // text OUT; none: standard output
    bool tsv = false;                  // list --tsv
    bool purged = false;               // get --purged
    uint32_t cylinders = 0;            // -c, read as imgconv reads it; 0 = not given
    uint32_t heads = 0;                // -h
    uint32_t sectors = 0;              // -s
    bool geometry_given = false;       // any of -c, -h, -s was on the command line
};

enum class CommandLine {
    run,   // `settings` is complete
    usage, // print the usage text, status 0
};

// Reads argv[1..argc-1]: the command word first, then operands and options in
// any order; "--" makes every later argument an operand. An unknown word, an
// option the command does not take, "-c"/"-h"/"-s" without a value or a wrong
// number of operands asks for the usage text. Pure: prints and opens nothing.
CommandLine parse_command_line(int argc, char* const argv[], Settings& settings);

// The usage text; `program` is the name the program was started by.
void print_usage(FILE* out, const char* program);

} // namespace hpfiles
