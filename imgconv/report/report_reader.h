// The sector report's lines: read in binary mode one by one, told apart, their numbers parsed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

namespace imgconv {

// Column ranges (first, last; counted from 0) of the numbers in a line.
struct Field {
    size_t first;
    size_t last;
};
constexpr Field kCylinderField{17, 18};
constexpr Field kHeadField{30, 31};
constexpr Field kReportedSectorsField{38, 39};
constexpr Field kCylIdField{13, 14};
constexpr Field kHeadIdField{19, 19};
constexpr Field kRecordField{24, 25};
constexpr Field kRecSizeIdField{32, 34};

// Largest number that fits in the columns of a field.
constexpr uint32_t largest_field_value(Field field) {
    uint32_t value = 0;
    for (size_t i = field.first; i <= field.last; ++i)
        value = value * 10 + 9;
    return value;
}
// A field holds all nines at most, and down to minus the nines of one
// column fewer (the sign takes a column).
constexpr uint32_t lowest_field_magnitude(Field field) {
    return largest_field_value(Field{field.first + 1, field.last});
}
constexpr uint32_t field_value_count(Field field) {
    return largest_field_value(field) + lowest_field_magnitude(field) + 1;
}

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

// Bytes of a report line the reader takes at once, its end included.
constexpr size_t kLineBufferBytes = 1024;

enum class LineResult { line, end, error };

// The report, read in binary mode as lines ended by LF; a line longer than
// 1023 bytes comes as several. Lines may hold NUL bytes, so their length is
// counted, not searched for.
struct ReportReader {
    explicit ReportReader(FILE* f) : file(f) {}

    FILE* file;
    char text[kLineBufferBytes];
    size_t length = 0;
    unsigned long line_number = 0; // text line in which the current piece starts
    unsigned long next_line_number = 1;
    int error = 0; // errno of a failed read

    // The next line (or piece of one) into `text`.
    LineResult next();
    bool is_track_line() const;
    bool is_sector_line() const;
};

// Reads `control` up to its first TRACK line: true when there is one, false
// at the end of the report or when a read fails (`error` set to its errno,
// else 0). Leaves the stream where the reading stopped.
bool find_track_line(FILE* control, int& error);

} // namespace imgconv
