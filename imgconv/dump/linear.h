// Linear conversion: every HP record, in HP order, read from its computed place in the dump.
#pragma once

#include "imgconv/dump/mapping.h"
#include "imgconv/options.h"

#include <cstdint>
#include <cstdio>

namespace imgconv {

// Preparation before the copy loop: the record count, the default skew count,
// the interleave table, the matchlist search and the skew defaults, with the
// verbose skew line and the warning for a geometry without records on `out`.
// Returns the number of records to write (modulo 2^32). Requires sectors <= 256.
uint32_t prepare_linear(ConvertOptions& opts, InterleaveTable& table, FILE* out);

// The whole linear conversion on open streams: refuses more than 256 sectors
// per track, prepares, then copies every record through `record_buffer`
// (1024 bytes). Failures go to `err`. Returns 0, or -1 after a failure. The
// streams stay open; the caller closes them.
int convert_linear(ConvertOptions& opts, FILE* input, FILE* output, unsigned char* record_buffer,
                   FILE* out, FILE* err);

} // namespace imgconv
