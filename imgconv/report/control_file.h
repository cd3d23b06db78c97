// Disk rebuilt from a SECSCAN sector report and a dump of the reported sectors.
#pragma once

#include <cstdint>
#include <cstdio>

namespace imgconv {

// What a control-file conversion works on. The streams stay open; they
// belong to the caller.
struct ControlFileJob {
    FILE* input = nullptr;   // the dump, read from its start in report order
    FILE* output = nullptr;  // the rebuilt disk
    FILE* control = nullptr; // the sector report
    const char* control_path = "";
    const char* output_path = "";
    bool verbose = false;
    // The disk's sectors per track when known before the walk (from "-s" or
    // the LIF header), else 0; a value outside 1..256 counts as unknown.
    uint32_t known_sectors = 0;
    // kRecordBufferBytes bytes; each sector's data passes through it.
    unsigned char* record_buffer = nullptr;
    FILE* out = stdout; // messages
    FILE* err = stderr; // failures
};

// Checks, before any output exists, that the report open as `control` holds
// a TRACK line, and rewinds it. Otherwise prints "Control file ... holds no
// TRACK line; it is not a sector report." (or the read error) on `err` and
// returns false.
bool check_sector_report(FILE* control, const char* control_path, FILE* err);

// Walks the report and the dump together and writes the rebuilt records to
// the output. Returns 0, or -1 after a failure. The output has been flushed
// when 0 is returned, and the caller prints "done." once it has closed it.
// A dump that holds bytes after the last sector the report took gets a
// warning after the walk.
int convert_from_control_file(const ControlFileJob& job);

} // namespace imgconv
