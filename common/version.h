// The kit's version line, which every program prints when "--version" is its first argument.
#pragma once

#include <cstdio>
#include <cstring>

// The build passes the project version in; a build without it says so.
#ifndef HPKIT_VERSION
#define HPKIT_VERSION "unknown"
#endif

namespace common {

// Only the first argument asks for the version: anywhere else "--version" is
// an unknown option and brings the usage text, as it always did.
inline bool asks_for_version(int argc, char* const argv[]) {
    return argc > 1 && argv[1] && std::strcmp(argv[1], "--version") == 0;
}

// "<program> (HP 9845 data kit) <version>", with the program's own name rather
// than the name it was started by, so that scripts can match it.
inline void print_version(FILE* out, const char* program) {
    std::fprintf(out, "%s (HP 9845 data kit) %s\n", program, HPKIT_VERSION);
}

} // namespace common
