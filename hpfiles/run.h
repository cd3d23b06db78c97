// hpfiles' whole run, callable in-process by tests and fuzzers.
#pragma once

#include <cstdio>

namespace hpfiles {

// Runs hpfiles with the given command line. Listings, texts, the lines of the
// files written, the usage text and the version go to `out`; every warning and
// error to `err`. Returns the exit status: 0 done (warnings may have been
// printed), -1 on any error. Never exits the process.
int run_hpfiles(int argc, char* argv[], FILE* out, FILE* err);

} // namespace hpfiles
