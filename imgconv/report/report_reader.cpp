// Reads the sector report line by line and takes the numbers of its TRACK and sector lines.
#include "imgconv/report/report_reader.h"

#include <cerrno>
#include <cstring>

namespace imgconv {

namespace {

constexpr size_t kMaxLineBytes = kLineBufferBytes - 1; // bytes taken per line at most

constexpr char kTrackPrefix[] = "\xFE TRACK:";
constexpr size_t kTrackPrefixBytes = sizeof(kTrackPrefix) - 1;
constexpr char kSectorPrefix[] = " + Sector:";
constexpr size_t kSectorPrefixBytes = sizeof(kSectorPrefix) - 1;

// The line's end (its LF, and a CR just before it) is not part of the line's
// content, so that a report with CR LF line ends reads like one with LF.
size_t content_length(const char* line, size_t length) {
    if (length > 0 && line[length - 1] == '\n') {
        --length;
        if (length > 0 && line[length - 1] == '\r')
            --length;
    }
    return length;
}

// A field is read as blanks, an optional sign, then digits up to its last
// column or the end of the line's content, whichever comes first. A field
// that the content does not reach reads as 0.
uint32_t read_field(const char* line, size_t length, Field field) {
    if (length <= field.first)
        return 0;
    const size_t last = field.last < length ? field.last : length - 1;
    size_t i = field.first;
    while (i <= last && line[i] == ' ')
        ++i;
    bool negative = false;
    if (i <= last && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i <= last && line[i] >= '0' && line[i] <= '9'; ++i)
        value = value * 10 + static_cast<uint32_t>(line[i] - '0');
    return negative ? 0u - value : value;
}

bool has_prefix(const char* line, size_t length, const char* prefix, size_t prefix_bytes) {
    return length >= prefix_bytes && std::memcmp(line, prefix, prefix_bytes) == 0;
}

} // namespace

LineResult ReportReader::next() {
    line_number = next_line_number;
    length = 0;
    while (length < kMaxLineBytes) {
        const int ch = std::getc(file);
        if (ch == EOF)
            break;
        text[length++] = static_cast<char>(ch);
        if (ch == '\n') {
            ++next_line_number;
            break;
        }
    }
    if (std::ferror(file)) {
        error = errno;
        return LineResult::error;
    }
    return length == 0 ? LineResult::end : LineResult::line;
}

bool ReportReader::is_track_line() const {
    return has_prefix(text, length, kTrackPrefix, kTrackPrefixBytes);
}

bool ReportReader::is_sector_line() const {
    return has_prefix(text, length, kSectorPrefix, kSectorPrefixBytes);
}

TrackLine parse_track_line(const char* line, size_t length) {
    length = content_length(line, length);
    TrackLine t;
    t.cylinder = read_field(line, length, kCylinderField);
    t.head = read_field(line, length, kHeadField);
    t.reported_sectors = read_field(line, length, kReportedSectorsField);
    return t;
}

SectorLine parse_sector_line(const char* line, size_t length) {
    length = content_length(line, length);
    SectorLine s;
    s.cylID = read_field(line, length, kCylIdField);
    s.headID = read_field(line, length, kHeadIdField);
    s.record = read_field(line, length, kRecordField);
    s.recsizeID = static_cast<int32_t>(read_field(line, length, kRecSizeIdField));
    return s;
}
bool find_track_line(FILE* control, int& error) {
    ReportReader report(control);
    error = 0;
    for (;;) {
        const LineResult r = report.next();
        if (r == LineResult::error) {
            error = report.error;
            return false;
        }
        if (r == LineResult::end)
            return false;
        if (report.is_track_line())
            return true;
    }
}

} // namespace imgconv
