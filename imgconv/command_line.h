// The imgconv command line: option words, their values and the usage text.
#pragma once

#include "imgconv/dump/dump_reader.h"
#include "imgconv/options.h"

#include <cstdint>
#include <cstdio>

namespace imgconv {

// What the command line asks for.
enum class CommandLine {
    run,                // settings complete: convert
    usage,              // print the usage text, exit status 0
    rec_size_too_big,   // "Sorry, max. rec_size is 1024 bytes.", exit status 0
    matchlist_too_long, // "-m" with more pairs than the list holds, exit status -1
};

// Largest record the one-record buffer holds, in bytes.
constexpr uint32_t kMaxRecSize = kRecordBufferBytes;

// Walks argv[1..argc-1] into `opts` (which starts with its defaults). Pure:
// prints nothing and opens nothing.
CommandLine parse_command_line(int argc, char* const argv[], ConvertOptions& opts);

// The usage text, with `program` as the command line named the program.
void print_usage(FILE* out, const char* program);

} // namespace imgconv
