// Rebuilds a disk from a SECSCAN sector report: report lines, sector checks and the track store.
#include "imgconv/control_file.h"

#include "imgconv/dump_reader.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace imgconv {

namespace {

constexpr size_t kLineBufferBytes = 1024;              // one report line plus its end
constexpr size_t kMaxLineBytes = kLineBufferBytes - 1; // bytes taken per line at most
constexpr uint32_t kSlotCount = kTrackSlots;           // records per track the store holds
constexpr uint32_t kLastSlot = kSlotCount - 1;         // highest record number the store holds
constexpr uint32_t kMaxKnownSectors = kSlotCount;      // sectors per track that can be believed
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

// A field holds all nines at most, and down to minus the nines of one
// column fewer (the sign takes a column).
constexpr uint32_t lowest_field_magnitude(Field field) {
    return largest_field_value(Field{field.first + 1, field.last});
}
constexpr uint32_t field_value_count(Field field) {
    return largest_field_value(field) + lowest_field_magnitude(field) + 1;
}
// Every cylinder and head a TRACK line can give has a place in this table of
// written tracks, so it needs no room that grows with the report.
constexpr uint32_t kCylinderValues = field_value_count(kCylinderField);
constexpr uint32_t kHeadValues = field_value_count(kHeadField);
using WrittenTracks = std::bitset<size_t{kCylinderValues} * kHeadValues>;

// Unreadable tracks waiting to be named: more than a disk has tracks, so a
// real scan never fills this; beyond it they are counted, not named.
constexpr size_t kMaxNamedLostTracks = 4096;

// The track store: slot n takes the data of record n. Static, so that its
// 256 KiB never sit on the stack.
unsigned char g_track_store[kSlotCount][kSlotBytes];
TrackLine g_lost_tracks[kMaxNamedLostTracks];

// Marks the track as written; returns false when it had been written before.
bool mark_written(WrittenTracks& written, const TrackLine& track) {
    // Negative numbers wrap round to the low end of each index range.
    const uint32_t cylinder = track.cylinder + lowest_field_magnitude(kCylinderField);
    const uint32_t head = track.head + lowest_field_magnitude(kHeadField);
    if (cylinder >= kCylinderValues || head >= kHeadValues)
        return true; // no line gives such a track
    const size_t index = size_t{cylinder} * kHeadValues + head;
    const bool before = written[index];
    written.set(index);
    return !before;
}

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
               bool verbose_, uint32_t known_sectors_, unsigned char* record_buffer_, FILE* out_,
               FILE* err_)
        : input(input_), output(output_), control_path(control_path_), output_path(output_path_),
          verbose(verbose_), record_buffer(record_buffer_), out(out_), err(err_) {
        // A sectors-per-track figure the store cannot hold is no figure at all.
        if (known_sectors_ >= 1 && known_sectors_ <= kMaxKnownSectors) {
            known_sectors = known_sectors_;
            records_per_track = known_sectors_;
        }
    }

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
    uint32_t known_sectors = 0;     // sectors per track from "-s" or the LIF header; 0: unknown
    uint32_t records_per_track = 0; // records each written track gives; 0: not yet known

    TrackLine track{};
    int32_t num_sectors = 0;       // sectors of the current track in the store
    std::bitset<kSlotCount> kept;  // records the current track stored
    bool has_sector_lines = false; // the current track lists at least one sector
    bool any_valid_size = false;   // ... and one of them has the valid sector size

    // Tracks that wrote nothing, named when the next track is written: only
    // then is it known that the records after them have moved up. Their
    // names are in g_lost_tracks.
    size_t lost_named = 0;
    unsigned long lost_beyond = 0; // lost tracks beyond what g_lost_tracks holds
    WrittenTracks written;         // cylinder and head of every written track

    unsigned long zero_records = 0;        // records written as zeros
    unsigned long sectors_not_written = 0; // kept sectors left out, once per record per track
    unsigned long tracks_not_written = 0;  // tracks named as not written
    bool warned = false;                   // a warning of this conversion has been printed
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

// Prints one warning line, also without verbose. Without verbose the open
// "Using control file ..." line is ended first.
#if defined(__GNUC__)
__attribute__((format(printf, 2, 3)))
#endif
void warn(Conversion& c, const char* format, ...) {
    if (!c.verbose && !c.warned)
        std::fputs("\n", c.out);
    c.warned = true;
    std::fputs("Warning: ", c.out);
    va_list args;
    va_start(args, format);
    std::vfprintf(c.out, format, args);
    va_end(args);
    std::fputs("\n", c.out);
}

// The highest record number a sector of the current track may carry: a
// track that lost sectors reports fewer than the disk has, so the disk's own
// figures count as well.
uint32_t highest_record_allowed(const Conversion& c) {
    uint32_t limit = c.track.reported_sectors;
    const uint32_t track_size = static_cast<uint32_t>(c.track_size);
    if (track_size > limit)
        limit = track_size;
    if (c.known_sectors > limit)
        limit = c.known_sectors;
    return limit < kLastSlot ? limit : kLastSlot;
}

// Checks a sector against the disk's format and the current track; prints
// the failing check's message with verbose. Check 5's message has no line end.
bool sector_passes_checks(const Conversion& c, const SectorLine& s) {
    FILE* out = c.out;
    const bool v = c.verbose;
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
    // The limit never passes the last slot, so every kept record has one.
    const uint32_t limit = highest_record_allowed(c);
    if (s.record > limit) {
        if (v)
            std::fprintf(out, "record=%lu exceeds max record number=%lu", ul(s.record), ul(limit));
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
    c.has_sector_lines = true;
    if (s.recsizeID == c.valid_rec_size)
        c.any_valid_size = true;
    if (!sector_passes_checks(c, s))
        return read_sector_data(c, c.record_buffer, static_cast<size_t>(s.recsizeID));
    if (read_sector_data(c, g_track_store[s.record], static_cast<size_t>(c.valid_rec_size)) != 0)
        return -1;
    c.kept.set(s.record);
    ++c.num_sectors;
    return 0;
}

// A new track starts with an empty store, so no slot shows an earlier
// track's data and a slot the track does not fill is written as zeros.
void start_track(Conversion& c, const TrackLine& track) {
    c.track = track;
    if (c.track_size == 0 && track.cylinder == 0 && track.head == 0)
        c.track_size = static_cast<int32_t>(track.reported_sectors);
    // Once per track: the count is worth knowing, but it rejects no sector.
    if (c.verbose && c.track_size != 0 &&
        track.reported_sectors != static_cast<uint32_t>(c.track_size))
        std::fprintf(c.out, "num sectors=%lu doesn't match track size=%d\n",
                     ul(track.reported_sectors), static_cast<int>(c.track_size));
    c.num_sectors = 0;
    for (uint32_t n = 0; n < kSlotCount; ++n)
        if (c.kept[n])
            std::memset(g_track_store[n], 0, kSlotBytes);
    c.kept.reset();
    c.has_sector_lines = false;
    c.any_valid_size = false;
}

int report_write_error(const Conversion& c) {
    std::fprintf(c.err, "Write error on file \"%s\" #%d\n", c.output_path, errno);
    return -1;
}

// Without "-s" or a LIF header the first track at cylinder 0, head 0 that
// kept a sector tells how many records a track holds: up to its highest.
void settle_records_per_track(Conversion& c) {
    if (c.records_per_track != 0 || c.track.cylinder != 0 || c.track.head != 0 || c.kept.none())
        return;
    uint32_t highest = kLastSlot;
    while (!c.kept[highest])
        --highest;
    c.records_per_track = highest - c.first_record + 1;
}

void warn_outside(Conversion& c, const TrackLayout& layout) {
    const uint32_t range_last = c.first_record + c.records_per_track - 1;
    for (uint32_t r = 0; r < kSlotCount; ++r) {
        if (!layout.outside[r])
            continue;
        warn(c, "cylinder %lu head %lu record %lu is outside records %lu to %lu; not written.",
             ul(c.track.cylinder), ul(c.track.head), ul(r), ul(c.first_record),
             ul(range_last < kLastSlot ? range_last : kLastSlot));
        ++c.sectors_not_written;
    }
}

// Ends the current track: writes its records in their places, or names why
// it writes nothing. The report's order stays the image's order, so every
// track that moves the records after it is named.
int write_track(Conversion& c) {
    if (c.verbose)
        std::fprintf(c.out, "Processing cylinder=%lu head=%lu num_sectors=%d\n",
                     ul(c.track.cylinder), ul(c.track.head), static_cast<int>(c.num_sectors));
    const unsigned long cylinder = ul(c.track.cylinder);
    const unsigned long head = ul(c.track.head);
    settle_records_per_track(c);
    const bool format_known =
        c.valid_rec_size != 0 && c.records_per_track != 0 && c.first_record < kSlotCount;
    if (c.has_sector_lines && !format_known) {
        warn(c, "cylinder %lu head %lu comes before the disk's format is known; not written.",
             cylinder, head);
        ++c.tracks_not_written;
        c.sectors_not_written += c.kept.count();
        return 0;
    }
    TrackLayout layout;
    if (format_known)
        layout = lay_out_track(c.kept, c.records_per_track, c.first_record);
    if (layout.count == 0) {
        warn_outside(c, layout);
        // A track of another format is no track of this disk: nothing moves.
        const bool foreign = c.has_sector_lines && !c.any_valid_size;
        if (!foreign && c.lost_named < kMaxNamedLostTracks)
            g_lost_tracks[c.lost_named++] = c.track;
        else if (!foreign)
            ++c.lost_beyond;
        return 0;
    }

    for (size_t i = 0; i < c.lost_named; ++i)
        warn(c,
             "cylinder %lu head %lu: nothing written for this track; the records after it move "
             "up by one track.",
             ul(g_lost_tracks[i].cylinder), ul(g_lost_tracks[i].head));
    if (c.lost_beyond != 0)
        warn(c,
             "%lu more tracks: nothing written for them; the records after them move up by %lu "
             "tracks.",
             c.lost_beyond, c.lost_beyond);
    c.tracks_not_written += c.lost_named + c.lost_beyond;
    c.lost_named = 0;
    c.lost_beyond = 0;
    if (!mark_written(c.written, c.track))
        warn(c,
             "cylinder %lu head %lu appears again in the report; written again, so the records "
             "after it move down by one track.",
             cylinder, head);
    warn_outside(c, layout);
    for (uint32_t r = 0; r < kSlotCount; ++r) {
        if (!layout.zero_filled[r])
            continue;
        warn(c, "cylinder %lu head %lu record %lu not found; written as zeros.", cylinder, head,
             ul(r));
        ++c.zero_records;
    }

    const size_t bytes = static_cast<size_t>(c.valid_rec_size);
    for (uint32_t i = 0; i < layout.count; ++i) {
        const unsigned char* slot = g_track_store[layout.first + i];
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

TrackLayout lay_out_track(const std::bitset<kTrackSlots>& kept, uint32_t records_per_track,
                          uint32_t first_record) {
    TrackLayout layout;
    const uint32_t room = kSlotCount - first_record; // the range is cut at the last slot
    const uint32_t count = records_per_track < room ? records_per_track : room;
    bool any_in_range = false;
    for (uint32_t r = 0; r < kSlotCount; ++r) {
        const bool in_range = r >= first_record && r - first_record < count;
        if (!in_range) {
            layout.outside[r] = kept[r];
        } else if (kept[r]) {
            any_in_range = true;
        } else {
            layout.zero_filled.set(r);
        }
    }
    if (!any_in_range) {
        layout.zero_filled.reset();
        return layout;
    }
    layout.first = first_record;
    layout.count = count;
    return layout;
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

int convert_from_control_file(FILE* input, FILE* output, FILE* control, const char* control_path,
                              const char* output_path, bool verbose, uint32_t known_sectors,
                              unsigned char* record_buffer, FILE* out, FILE* err) {
    Conversion c(input, output, control_path, output_path, verbose, known_sectors, record_buffer,
                 out, err);
    std::memset(g_track_store, 0, sizeof g_track_store);

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

        start_track(c, parse_track_line(report.text, report.length));

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
    if (c.zero_records != 0 || c.sectors_not_written != 0 || c.tracks_not_written != 0)
        warn(c, "%lu records written as zeros, %lu sectors not written, %lu tracks not written.",
             c.zero_records, c.sectors_not_written, c.tracks_not_written);
    return 0;
}

} // namespace imgconv
