// blocksum: checks a combined ROM image block by block and reports each block's sums and verdict.
#pragma once

#include "romtools/block_report.h"

#include <cstddef>
#include <cstdio>
#include <vector>

namespace romtools {

// What the command line asks for.
struct BlocksumSettings {
    const char* image = nullptr; // first name not taken by an option
    RomSumMode mode = RomSumMode::normal;
    const char* block_size_text = nullptr; // value of the last "-blocksize", unread
    std::vector<const char*> unread;       // image names after the first: not read
};

enum class ArgScan { run, usage };

// Reads the options in one pass, where "-plain" may directly precede "-blocksize"
// but not follow it. Gives Usage for an unknown option or a "-blocksize"
// without its value.
ArgScan scan_blocksum_args(int argc, char* argv[], BlocksumSettings& settings);

// Reads a block size as every number on a command line is read (32 bits,
// decimal, 0x hex or 0 octal, a minus sign negating modulo 2^32, trailing
// characters ignored). False when it is outside 1..4096 words, no digits included.
bool parse_block_size(const char* text, size_t& words);

// Runs blocksum with the given command line; report lines and usage go to `out`,
// failures to `err`. Returns the exit status (0 or -1). Never exits the process.
int run_blocksum(int argc, char* argv[], FILE* out, FILE* err);

} // namespace romtools
