// Disk rebuilt from a SECSCAN sector report and a dump of the reported sectors.
#pragma once

#include <cstdint>
#include <cstdio>

namespace imgconv {

// Fields of a TRACK line: where the track was read and how many sectors it has.
struct TrackLine {
    uint32_t cylinder = 0;
    uint32_t head = 0;
    uint32_t reported_sectors = 0;
};

// Fields of a sector line: the sector's ID and its data size in bytes.
struct SectorLine {
    uint32_t cylID = 0;
    uint32_t headID = 0;
    uint32_t record = 0;
    int32_t recsizeID = 0;
};

// Both parsers read fixed columns of a line of `length` bytes; missing or
// digitless fields read as 0. Neither can fail.
TrackLine parse_track_line(const char* line, size_t length);
SectorLine parse_sector_line(const char* line, size_t length);

// Walks the report on `control` and the dump on `input` together and writes
// the rebuilt records to `output`. `record_buffer` (1024 bytes) takes the data
// of rejected sectors. Messages go to `out` and `err`. Returns 0, or -1 after
// a failure. The streams stay open; the output has been flushed when 0 is
// returned, and the caller prints "done." once it has closed it.
int convert_from_control_file(FILE* input, FILE* output, FILE* control, const char* control_path,
                              const char* output_path, bool verbose,
                              unsigned char* record_buffer, FILE* out, FILE* err);

} // namespace imgconv
