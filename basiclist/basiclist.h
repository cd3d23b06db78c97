// basiclist's whole run, callable in-process by tests.
#pragma once

#include <cstdio>

namespace basiclist {

// The status at the BASIC file's end mark; the others are common::kExitDone
// and common::kExitFailure.
constexpr int kExitEndMark = 1;

// Runs basiclist with the given command line. The listing goes to the named
// output file or else to `out`, as does the usage text; messages go to `err`.
// Returns the exit status: 0 at the end of the input or after the usage text,
// 1 at the end mark, -1 on a file that cannot be opened, a read or write
// failure, or an output that is the input or holds a zero byte (no listing
// does). A named output file is replaced only by a run that ends with 0 or
// 1. Never exits the process.
int run_basiclist(int argc, char* argv[], FILE* out, FILE* err);

} // namespace basiclist
