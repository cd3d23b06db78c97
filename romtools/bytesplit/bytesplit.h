// bytesplit: splits a ROM word file into complemented high-byte and low-byte files.
#pragma once

#include <cstddef>
#include <cstdio>

namespace romtools {

// Bytes each output file receives per block of 4096 input words.
constexpr size_t kSplitBlockBytes = 4096;

// Splits `words` words (2 * words bytes, most significant byte first) into the
// complement of each high byte and the complement of each low byte.
void split_complemented(const unsigned char* words_in, size_t words, unsigned char* high,
                        unsigned char* low);

// Runs bytesplit with the given command line; report lines and usage go to `out`,
// failures to `err`. Returns the exit status (0 or -1). Never exits the process.
int run_bytesplit(int argc, char* argv[], FILE* out, FILE* err);

} // namespace romtools
