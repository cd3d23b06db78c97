// Rebuilds a disk from a SECSCAN sector report: report lines, sector checks and the track store.
#include "imgconv/control_file.h"

#include "imgconv/dump_reader.h"

#include <cerrno>
#include <cstring>

namespace imgconv {

namespace {

constexpr size_t kLineBufferBytes = 1024;              // one report line plus its end
constexpr size_t kMaxLineBytes = kLineBufferBytes - 1; // bytes taken per line at most
constexpr uint32_t kSlotCount = 256;                   // records per track the store holds
constexpr size_t kSlotBytes = kRecordBufferBytes;      // bytes per record slot
constexpr uint32_t kNoRecordYet = kSlotCount;          // one past the last slot

constexpr char kTrackPrefix[] = "\xFE TRACK:";
constexpr size_t kTrackPrefixBytes = sizeof(kTrackPrefix) - 1;
constexpr char kSectorPrefix[] = " + Sector:";
constexpr size_t kSectorPrefixBytes = sizeof(kSectorPrefix) - 1;

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
// The size field has three columns, so no sector is bigger than a slot or
// than the scratch buffer that takes rejected data.
static_assert(largest_field_value(kRecSizeIdField) <= kSlotBytes, "a sector fits a slot");
static_assert(largest_field_value(kRecSizeIdField) <= kRecordBufferBytes,
              "a sector fits the scratch buffer");

// The track store: slot n takes the data of record n. Static, so that its
// 256 KiB never sit on the stack.
unsigned char g_track_store[kSlotCount][kSlotBytes];
bool g_slot_used[kSlotCount];

// A field is read as blanks, an optional sign, then digits up to its last
// column. A field that the line does not wholly cover reads as 0.
uint32_t read_field(const char* line, size_t length, Field field) {
    if (length <= field.last)
        return 0;
    size_t i = field.first;
    while (i <= field.last && line[i] == ' ')
        ++i;
    bool negative = false;
    if (i <= field.last && (line[i] == '+' || line[i] == '-')) {
        negative = line[i] == '-';
        ++i;
    }
    uint32_t value = 0;
    for (; i <= field.last && line[i] >= '0' && line[i] <= '9'; ++i)
        value = value * 10 + static_cast<uint32_t>(line[i] - '0');
    return negative ? 0u - value : value;
}

bool has_prefix(const char* line, size_t length, const char* prefix, size_t prefix_bytes) {
    return length >= prefix_bytes && std::memcmp(line, prefix, prefix_bytes) == 0;
}

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

    LineResult next() {
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
    bool is_track_line() const { return has_prefix(text, length, kTrackPrefix, kTrackPrefixBytes); }
    bool is_sector_line() const {
        return has_prefix(text, length, kSectorPrefix, kSectorPrefixBytes);
    }
};

// Run values and the current track of one conversion.
struct Conversion {
    Conversion(FILE* input_, FILE* output_, const char* control_path_, const char* output_path_,
               bool verbose_, unsigned char* record_buffer_, FILE* out_, FILE* err_)
        : input(input_), output(output_), control_path(control_path_), output_path(output_path_),
          verbose(verbose_), record_buffer(record_buffer_), out(out_), err(err_) {}

    FILE* input;
    FILE* output;
    const char* control_path;
    const char* output_path;
    bool verbose;
    unsigned char* record_buffer;
    FILE* out;
    FILE* err;

    int32_t track_size = 0;               // valid sectors per track, from the first track 0/0
    int32_t valid_rec_size = 0;           // valid sector size in bytes
    uint32_t first_record = kNoRecordYet; // lowest record seen on cylinder 0, head 0
    TrackLine track{};
    int32_t num_sectors = 0; // sectors of the current track in the store
};

unsigned long ul(uint32_t v) {
    return static_cast<unsigned long>(v);
}

// Reads the data of one sector; a short read ends the run.
int read_sector_data(const Conversion& c, unsigned char* dest, size_t bytes) {
    if (std::fread(dest, 1, bytes, c.input) == bytes)
        return 0;
    if (std::ferror(c.input))
        std::fputs("Read error on input file\n", c.err);
    else
        std::fputs("Premature end of input data (exiting)\n", c.err);
    return -1;
}

// Checks a sector against the disk's format and the current track; prints
// the failing check's message with verbose. Check 5's message has no line end.
bool sector_passes_checks(const Conversion& c, const SectorLine& s) {
    FILE* out = c.out;
    const bool v = c.verbose;
    if (c.track.reported_sectors != static_cast<uint32_t>(c.track_size)) {
        if (v)
            std::fprintf(out, "num sectors=%lu doesn't match track size=%d\n",
                         ul(c.track.reported_sectors), static_cast<int>(c.track_size));
        return false;
    }
    if (s.cylID != c.track.cylinder) {
        if (v)
            std::fprintf(out, "cylID=%lu doesn't match physical cylinder=%lu\n", ul(s.cylID),
                         ul(c.track.cylinder));
        return false;
    }
    if (s.headID != c.track.head) {
        if (v)
            std::fprintf(out, "headID=%lu doesn't match physical head=%lu\n", ul(s.headID),
                         ul(c.track.head));
        return false;
    }
    if (s.recsizeID != c.valid_rec_size) {
        if (v)
            std::fprintf(out, "recsizeID=%lu doesn't match valid sector size=%d\n",
                         ul(static_cast<uint32_t>(s.recsizeID)),
                         static_cast<int>(c.valid_rec_size));
        return false;
    }
    if (s.record > c.track.reported_sectors) {
        if (v)
            std::fprintf(out, "record=%lu exceeds max record number=%lu", ul(s.record),
                         ul(c.track.reported_sectors));
        return false;
    }
    // The sector is stored in slot `record`, and the track is written from
    // slot first_record on: both must stay within the 256 slots.
    if (s.record >= kSlotCount ||
        c.first_record + static_cast<uint32_t>(c.num_sectors) >= kSlotCount) {
        if (v)
            std::fprintf(out,
                         "record=%lu doesn't fit the track buffer (first record=%lu, "
                         "num_sectors=%d)\n",
                         ul(s.record), ul(c.first_record), static_cast<int>(c.num_sectors));
        return false;
    }
    return true;
}

// One sector line of the current track: kept in its slot or read past.
int take_sector(Conversion& c, const SectorLine& s, unsigned long line_number) {
    if (s.recsizeID < 0) {
        // Without a size the data of every later sector would be taken from
        // the wrong place in the dump.
        std::fprintf(c.err, "Negative sector size %d in line %lu of control file \"%s\"\n",
                     static_cast<int>(s.recsizeID), line_number, c.control_path);
        return -1;
    }
    const bool first_track = c.track.cylinder == 0 && c.track.head == 0;
    if (c.valid_rec_size == 0 && first_track && c.num_sectors == 0)
        c.valid_rec_size = s.recsizeID;
    if (first_track && s.record < c.first_record)
        c.first_record = s.record;
    if (!sector_passes_checks(c, s))
        return read_sector_data(c, c.record_buffer, static_cast<size_t>(s.recsizeID));
    if (read_sector_data(c, g_track_store[s.record], static_cast<size_t>(c.valid_rec_size)) != 0)
        return -1;
    g_slot_used[s.record] = true;
    ++c.num_sectors;
    return 0;
}

// A new track starts with an empty store, so no slot shows an earlier track's data.
void clear_track_store() {
    for (uint32_t n = 0; n < kSlotCount; ++n) {
        if (g_slot_used[n])
            std::memset(g_track_store[n], 0, kSlotBytes);
        g_slot_used[n] = false;
    }
}

int report_write_error(const Conversion& c) {
    std::fprintf(c.err, "Write error on file \"%s\" #%d\n", c.output_path, errno);
    return -1;
}

// Writes the current track: num_sectors records from slot first_record on.
int write_track(const Conversion& c) {
    if (c.verbose)
        std::fprintf(c.out, "Processing cylinder=%lu head=%lu num_sectors=%d\n",
                     ul(c.track.cylinder), ul(c.track.head), static_cast<int>(c.num_sectors));
    const size_t bytes = static_cast<size_t>(c.valid_rec_size);
    for (int32_t i = 0; i < c.num_sectors; ++i) {
        const unsigned char* slot = g_track_store[c.first_record + static_cast<uint32_t>(i)];
        if (std::fwrite(slot, 1, bytes, c.output) < bytes && std::ferror(c.output))
            return report_write_error(c);
    }
    return 0;
}

int report_control_read_error(const Conversion& c, const ReportReader& report) {
    std::fprintf(c.err, "Read error on control file \"%s\" #%d\n", c.control_path, report.error);
    return -1;
}

} // namespace

TrackLine parse_track_line(const char* line, size_t length) {
    TrackLine t;
    t.cylinder = read_field(line, length, kCylinderField);
    t.head = read_field(line, length, kHeadField);
    t.reported_sectors = read_field(line, length, kReportedSectorsField);
    return t;
}

SectorLine parse_sector_line(const char* line, size_t length) {
    SectorLine s;
    s.cylID = read_field(line, length, kCylIdField);
    s.headID = read_field(line, length, kHeadIdField);
    s.record = read_field(line, length, kRecordField);
    s.recsizeID = static_cast<int32_t>(read_field(line, length, kRecSizeIdField));
    return s;
}

int convert_from_control_file(FILE* input, FILE* output, FILE* control, const char* control_path,
                              const char* output_path, bool verbose, unsigned char* record_buffer,
                              FILE* out, FILE* err) {
    Conversion c(input, output, control_path, output_path, verbose, record_buffer, out, err);
    std::memset(g_track_store, 0, sizeof g_track_store);
    std::memset(g_slot_used, 0, sizeof g_slot_used);

    std::fprintf(out, "Using control file %s...", control_path);
    if (verbose)
        std::fputs("\n", out);
    if (std::fseek(input, 0, SEEK_SET) != 0) {
        std::fprintf(err, "Seek error #%d\n", errno);
        return -1;
    }

    ReportReader report(control);
    bool pending_track = false; // the line buffer holds a TRACK line not yet taken
    for (;;) {
        if (!pending_track) {
            const LineResult r = report.next();
            if (r == LineResult::error)
                return report_control_read_error(c, report);
            if (r == LineResult::end)
                break;
        }
        pending_track = false;
        if (!report.is_track_line())
            continue;

        c.track = parse_track_line(report.text, report.length);
        if (c.track_size == 0 && c.track.cylinder == 0 && c.track.head == 0)
            c.track_size = static_cast<int32_t>(c.track.reported_sectors);
        c.num_sectors = 0;
        clear_track_store();

        for (;;) {
            const LineResult r = report.next();
            if (r == LineResult::error)
                return report_control_read_error(c, report);
            if (r == LineResult::end)
                break;
            if (report.is_track_line()) {
                pending_track = true;
                break;
            }
            if (!report.is_sector_line())
                continue;
            const SectorLine s = parse_sector_line(report.text, report.length);
            if (take_sector(c, s, report.line_number) != 0)
                return -1;
        }
        if (write_track(c) != 0)
            return -1;
    }
    // Every record handed on to the system; the caller closes the output
    // (checked) and only then prints "done.".
    if (std::fflush(output) != 0)
        return report_write_error(c);
    return 0;
}

} // namespace imgconv
