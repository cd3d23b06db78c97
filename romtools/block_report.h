// The report line of a ROM block, its verdict texts, and the check that the report got through.
#pragma once

#include "romtools/bpc/rom_block_sum.h"

#include "common/report.h"

#include <cstdio>

namespace romtools {

// The text printed after a block's numbers, newline included.
const char* rom_verdict_text(RomVerdict verdict);

// Prints "block N: verify=V checksum=C" and the verdict text.
void print_block_report(FILE* out, long long block, const RomBlockSum& sum, RomVerdict verdict);

// Writes out what the report stream still buffers. The report lines are a
// result in their own right: false, after "Write error on file "<stdout>" #n
// (meaning)", when any of them did not get through.
bool finish_report(FILE* out, const common::Reporter& report);

} // namespace romtools
