// Linear conversion: every HP record, in HP order, read from its computed place in the dump.
#pragma once

#include "imgconv/dump/mapping.h"
#include "imgconv/options.h"
#include "imgconv/plan.h"

#include "common/report.h"

#include <cstdint>
#include <cstdio>

namespace imgconv {

// Completes `plan` for the copy loop, after the probe: refuses more than 256
// sectors per track (false, after the message on `err`); then the record count
// and image size, the default skew count, the interleave table, the matchlist
// search and the skew defaults, with the verbose skew line and the warnings
// for a geometry without records on `out`. Reads no input.
bool prepare_linear(const ConvertOptions& opts, DumpPlan& plan, InterleaveTable& table, FILE* out,
                    FILE* err);

// The copy loop on open streams, by a prepared plan: every record read
// through `record_buffer` (1024 bytes) and written to `output`, then the
// warning for an unread tail. Warnings and failures go to `report`. Returns
// 0, or -1 after a failure. The streams stay open; the caller closes them.
int copy_linear(const DumpPlan& plan, const InterleaveTable& table, FILE* input, FILE* output,
                const char* output_path, unsigned char* record_buffer,
                const common::Reporter& report);

} // namespace imgconv
