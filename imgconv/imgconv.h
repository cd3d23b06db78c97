// imgconv's whole run, callable in-process by tests and fuzzers.
#pragma once

#include <cstdio>

namespace imgconv {

// Runs imgconv with the given command line; results and warnings go to `out`,
// failures to `err`. Returns the exit status (0 or -1). Never exits the process.
int run_imgconv(int argc, char* argv[], FILE* out, FILE* err);

} // namespace imgconv
