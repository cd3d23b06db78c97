// imgconv's conversion of an ImageDisk or TeleDisk capture: read, place by IDs, write the image.
#pragma once

#include "imgconv/capture/capture.h"
#include "imgconv/options.h"

#include <cstdio>

namespace imgconv {

// Reads the first bytes of `input` to tell a capture from a raw dump and
// seeks back to the start. An input that cannot be read counts as a raw
// dump, so the dump's own reading reports the failure as it always did.
InputKind peek_input_kind(FILE* input);

// Converts the capture at `opts.input_path` (see load_capture) into the image at
// `opts.output_path`. Only -s, -c, -h and -v apply; -l refuses the run. The output is created only
// once the capture has been read and its sectors placed. Warnings and verbose lines go to `out`,
// failures to `err`. Returns 0 once the image is written and closed, else -1.
int convert_capture(const ConvertOptions& opts, InputKind kind, FILE* out, FILE* err);

} // namespace imgconv
