// bytesplit's block loop: workers that each read, sum, split, write and report whole batches, so
// that one batch is read and summed while another goes to the disk, all in the input's order.
#pragma once

#include "common/output_file.h"
#include "common/report.h"

#include <cstdio>

namespace romtools {

// Splits the ROM words of `rom` into the two outputs a batch of blocks at a
// time, until the input ends, a read fails or a write fails. Batches are
// read, written and reported strictly in the input's order: a batch's report
// lines come once both its shares got through; after a failed write, the
// lines up to the block that did not reach the file, then "Write error...",
// and nothing more is written. Report lines go to `out`, warnings and
// failures as `report` says. Returns the exit status.
int split_blocks(FILE* rom, const char* rom_name, common::OutputFile& high, common::OutputFile& low,
                 FILE* out, const common::Reporter& report);

} // namespace romtools
