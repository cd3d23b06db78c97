// Rebuilds a disk from a SECSCAN sector report: report lines, sector checks and the track store.
#include "imgconv/report/control_file.h"

#include "imgconv/dump/dump_reader.h"

#include "common/output_file.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>
#include <vector>

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

unsigned long ul(uint32_t v) {
    return static_cast<unsigned long>(v);
}

// What a source hands on next: an item, the end (of the track, or of the
// report), or a failure whose message has been printed and which ends the run.
enum class Next { item, end, error };

// The disk's format as far as a source has learned it when a track ends.
struct DiskFormat {
    int32_t valid_rec_size = 0;           // valid sector size in bytes; 0: not yet known
    uint32_t first_record = kNoRecordYet; // lowest record seen on cylinder 0, head 0
};

// One sector as a source hands it to the track writer: its ID, and its data
// when it passed the checks.
struct TrackSector {
    SectorLine id;
    bool kept = false;      // passed the checks: record id.record, id.recsizeID bytes in `data`
    bool disk_size = false; // its size is the disk's sector size (a track with none is foreign)
    const unsigned char* data = nullptr;
};

// The report and the dump read together, track by track: each TRACK line's
// fields, then each sector line's ID with its data, or its rejection by the
// checks against the disk's format as the report has shown it so far. With
// verbose, the checks' messages come as the lines are read.
class ReportSource {
  public:
    ReportSource(const ControlFileJob& job, uint32_t known_sectors)
        : job_(job), report_(job.control), known_sectors_(known_sectors) {}

    // The next TRACK line; other lines before it are passed over.
    Next next_track(TrackLine& track);
    // The next sector of the current track; `end` at the next TRACK line or
    // at the end of the report. The data stay valid until the next call.
    Next next_sector(TrackSector& sector);

    const DiskFormat& format() const { return format_; }

  private:
    uint32_t highest_record_allowed() const;
    bool passes_checks(const SectorLine& s) const;
    bool read_sector_data(size_t bytes);
    Next control_read_error() const;

    const ControlFileJob& job_;
    ReportReader report_;
    uint32_t known_sectors_;     // 0: unknown
    bool pending_track_ = false; // the line buffer holds a TRACK line not yet taken
    int32_t track_size_ = 0;     // valid sectors per track, from the first track 0/0
    DiskFormat format_;
    TrackLine track_{};
    int32_t kept_on_track_ = 0; // sectors of the current track that passed the checks
};

Next ReportSource::control_read_error() const {
    std::fprintf(job_.err, "Read error on control file \"%s\" #%d\n", job_.control_path,
                 report_.error);
    return Next::error;
}

Next ReportSource::next_track(TrackLine& track) {
    for (;;) {
        if (!pending_track_) {
            const LineResult r = report_.next();
            if (r == LineResult::error)
                return control_read_error();
            if (r == LineResult::end)
                return Next::end;
        }
        pending_track_ = false;
        if (report_.is_track_line())
            break;
    }
    track_ = parse_track_line(report_.text, report_.length);
    if (track_size_ == 0 && track_.cylinder == 0 && track_.head == 0)
        track_size_ = static_cast<int32_t>(track_.reported_sectors);
    // Once per track: the count is worth knowing, but it rejects no sector.
    if (job_.verbose && track_size_ != 0 &&
        track_.reported_sectors != static_cast<uint32_t>(track_size_))
        std::fprintf(job_.out, "num sectors=%lu doesn't match track size=%d\n",
                     ul(track_.reported_sectors), static_cast<int>(track_size_));
    kept_on_track_ = 0;
    track = track_;
    return Next::item;
}

// The highest record number a sector of the current track may carry: a
// track that lost sectors reports fewer than the disk has, so the disk's own
// figures count as well.
uint32_t ReportSource::highest_record_allowed() const {
    uint32_t limit = track_.reported_sectors;
    const uint32_t track_size = static_cast<uint32_t>(track_size_);
    if (track_size > limit)
        limit = track_size;
    if (known_sectors_ > limit)
        limit = known_sectors_;
    return limit < kLastSlot ? limit : kLastSlot;
}

// Checks a sector against the disk's format and the current track; prints
// the failing check's message with verbose. Check 5's message has no line end.
bool ReportSource::passes_checks(const SectorLine& s) const {
    FILE* out = job_.out;
    const bool v = job_.verbose;
    if (s.cylID != track_.cylinder) {
        if (v)
            std::fprintf(out, "cylID=%lu doesn't match physical cylinder=%lu\n", ul(s.cylID),
                         ul(track_.cylinder));
        return false;
    }
    if (s.headID != track_.head) {
        if (v)
            std::fprintf(out, "headID=%lu doesn't match physical head=%lu\n", ul(s.headID),
                         ul(track_.head));
        return false;
    }
    if (s.recsizeID != format_.valid_rec_size) {
        if (v)
            std::fprintf(out, "recsizeID=%lu doesn't match valid sector size=%d\n",
                         ul(static_cast<uint32_t>(s.recsizeID)),
                         static_cast<int>(format_.valid_rec_size));
        return false;
    }
    // The limit never passes the last slot, so every kept record has one.
    const uint32_t limit = highest_record_allowed();
    if (s.record > limit) {
        if (v)
            std::fprintf(out, "record=%lu exceeds max record number=%lu", ul(s.record), ul(limit));
        return false;
    }
    return true;
}

// Reads the data of one sector into the record buffer; a short read ends the run.
bool ReportSource::read_sector_data(size_t bytes) {
    if (std::fread(job_.record_buffer, 1, bytes, job_.input) == bytes)
        return true;
    if (std::ferror(job_.input))
        std::fputs("Read error on input file\n", job_.err);
    else
        std::fputs("Premature end of input data (exiting)\n", job_.err);
    return false;
}

Next ReportSource::next_sector(TrackSector& sector) {
    for (;;) {
        const LineResult r = report_.next();
        if (r == LineResult::error)
            return control_read_error();
        if (r == LineResult::end)
            return Next::end;
        if (report_.is_track_line()) {
            pending_track_ = true;
            return Next::end;
        }
        if (report_.is_sector_line())
            break;
    }
    const SectorLine s = parse_sector_line(report_.text, report_.length);
    if (s.recsizeID < 0) {
        // Without a size the data of every later sector would be taken from
        // the wrong place in the dump.
        std::fprintf(job_.err, "Negative sector size %d in line %lu of control file \"%s\"\n",
                     static_cast<int>(s.recsizeID), report_.line_number, job_.control_path);
        return Next::error;
    }
    const bool first_track = track_.cylinder == 0 && track_.head == 0;
    if (format_.valid_rec_size == 0 && first_track && kept_on_track_ == 0)
        format_.valid_rec_size = s.recsizeID;
    if (first_track && s.record < format_.first_record)
        format_.first_record = s.record;
    sector.id = s;
    sector.disk_size = s.recsizeID == format_.valid_rec_size;
    sector.kept = passes_checks(s);
    sector.data = sector.kept ? job_.record_buffer : nullptr;
    // Rejected or kept, a sector takes its own size from the dump: a kept
    // one's is the valid size.
    if (!read_sector_data(static_cast<size_t>(s.recsizeID)))
        return Next::error;
    if (sector.kept)
        ++kept_on_track_;
    return Next::item;
}

// Takes tracks of sectors with their IDs, from whatever source, and writes
// each track's records in their places, or names why it writes nothing. The
// source's order stays the image's order, so every track that moves the
// records after it is named. Its store is allocated once per run.
class TrackWriter {
  public:
    TrackWriter(const ControlFileJob& job, uint32_t known_sectors)
        : job_(job), store_(size_t{kSlotCount} * kSlotBytes), lost_(kMaxNamedLostTracks),
          records_per_track_(known_sectors) {}

    // A new track starts with an empty store, so no slot shows an earlier
    // track's data and a slot the track does not fill is written as zeros.
    void start_track(const TrackLine& track);
    // A kept sector's record is 0..255 and its size at most a slot.
    void take_sector(const TrackSector& sector);
    // Ends the current track with the disk's format as known at its end.
    int end_track(const DiskFormat& format);
    // Hands every record on to the system and sums up what was not in place.
    int finish();

  private:
    unsigned char* slot(uint32_t record) { return &store_[size_t{record} * kSlotBytes]; }
    // clang-format off
#if defined(__GNUC__)
    __attribute__((format(printf, 2, 3)))
#endif
    void warn(const char* format, ...);
    // clang-format on
    void settle_records_per_track(uint32_t first_record);
    void warn_outside(const TrackLayout& layout, uint32_t first_record);
    int report_write_error() const;

    const ControlFileJob& job_;
    std::vector<unsigned char> store_; // slot n takes the data of record n
    // Tracks that wrote nothing, named when the next track is written: only
    // then is it known that the records after them have moved up.
    std::vector<TrackLine> lost_;
    size_t lost_named_ = 0;
    unsigned long lost_beyond_ = 0; // lost tracks beyond what lost_ holds
    uint32_t records_per_track_;    // records each written track gives; 0: not yet known
    WrittenTracks written_;         // cylinder and head of every written track

    TrackLine track_{};
    int32_t num_sectors_ = 0;       // sectors of the current track in the store
    std::bitset<kSlotCount> kept_;  // records the current track stored
    bool has_sector_lines_ = false; // the current track lists at least one sector
    bool any_valid_size_ = false;   // ... and one of them has the valid sector size

    unsigned long zero_records_ = 0;        // records written as zeros
    unsigned long sectors_not_written_ = 0; // kept sectors left out, once per record per track
    unsigned long tracks_not_written_ = 0;  // tracks named as not written
    bool warned_ = false;                   // a warning of this conversion has been printed
};

void TrackWriter::start_track(const TrackLine& track) {
    track_ = track;
    num_sectors_ = 0;
    for (uint32_t n = 0; n < kSlotCount; ++n)
        if (kept_[n])
            std::memset(slot(n), 0, kSlotBytes);
    kept_.reset();
    has_sector_lines_ = false;
    any_valid_size_ = false;
}

void TrackWriter::take_sector(const TrackSector& sector) {
    has_sector_lines_ = true;
    if (sector.disk_size)
        any_valid_size_ = true;
    if (!sector.kept)
        return;
    std::memcpy(slot(sector.id.record), sector.data, static_cast<size_t>(sector.id.recsizeID));
    kept_.set(sector.id.record);
    ++num_sectors_;
}

// Prints one warning line, also without verbose. Without verbose the open
// "Using control file ..." line is ended first.
void TrackWriter::warn(const char* format, ...) {
    if (!job_.verbose && !warned_)
        std::fputs("\n", job_.out);
    warned_ = true;
    std::fputs("Warning: ", job_.out);
    va_list args;
    va_start(args, format);
    std::vfprintf(job_.out, format, args);
    va_end(args);
    std::fputs("\n", job_.out);
}

int TrackWriter::report_write_error() const {
    common::report_write_error(job_.err, job_.output_path, errno);
    return -1;
}

// Without "-s" or a LIF header the first track at cylinder 0, head 0 that
// kept a sector tells how many records a track holds: up to its highest.
void TrackWriter::settle_records_per_track(uint32_t first_record) {
    if (records_per_track_ != 0 || track_.cylinder != 0 || track_.head != 0 || kept_.none())
        return;
    uint32_t highest = kLastSlot;
    while (!kept_[highest])
        --highest;
    records_per_track_ = highest - first_record + 1;
}

void TrackWriter::warn_outside(const TrackLayout& layout, uint32_t first_record) {
    const uint32_t range_last = first_record + records_per_track_ - 1;
    for (uint32_t r = 0; r < kSlotCount; ++r) {
        if (!layout.outside[r])
            continue;
        warn("cylinder %lu head %lu record %lu is outside records %lu to %lu; not written.",
             ul(track_.cylinder), ul(track_.head), ul(r), ul(first_record),
             ul(range_last < kLastSlot ? range_last : kLastSlot));
        ++sectors_not_written_;
    }
}

int TrackWriter::end_track(const DiskFormat& format) {
    if (job_.verbose)
        std::fprintf(job_.out, "Processing cylinder=%lu head=%lu num_sectors=%d\n",
                     ul(track_.cylinder), ul(track_.head), static_cast<int>(num_sectors_));
    const unsigned long cylinder = ul(track_.cylinder);
    const unsigned long head = ul(track_.head);
    settle_records_per_track(format.first_record);
    const bool format_known =
        format.valid_rec_size != 0 && records_per_track_ != 0 && format.first_record < kSlotCount;
    if (has_sector_lines_ && !format_known) {
        warn("cylinder %lu head %lu comes before the disk's format is known; not written.",
             cylinder, head);
        ++tracks_not_written_;
        sectors_not_written_ += kept_.count();
        return 0;
    }
    TrackLayout layout;
    if (format_known)
        layout = lay_out_track(kept_, records_per_track_, format.first_record);
    if (layout.count == 0) {
        warn_outside(layout, format.first_record);
        // A track of another format is no track of this disk: nothing moves.
        const bool foreign = has_sector_lines_ && !any_valid_size_;
        if (!foreign && lost_named_ < lost_.size())
            lost_[lost_named_++] = track_;
        else if (!foreign)
            ++lost_beyond_;
        return 0;
    }

    for (size_t i = 0; i < lost_named_; ++i)
        warn("cylinder %lu head %lu: nothing written for this track; the records after it move "
             "up by one track.",
             ul(lost_[i].cylinder), ul(lost_[i].head));
    if (lost_beyond_ != 0)
        warn("%lu more tracks: nothing written for them; the records after them move up by %lu "
             "tracks.",
             lost_beyond_, lost_beyond_);
    tracks_not_written_ += lost_named_ + lost_beyond_;
    lost_named_ = 0;
    lost_beyond_ = 0;
    if (!mark_written(written_, track_))
        warn("cylinder %lu head %lu appears again in the report; written again, so the records "
             "after it move down by one track.",
             cylinder, head);
    warn_outside(layout, format.first_record);
    for (uint32_t r = 0; r < kSlotCount; ++r) {
        if (!layout.zero_filled[r])
            continue;
        warn("cylinder %lu head %lu record %lu not found; written as zeros.", cylinder, head,
             ul(r));
        ++zero_records_;
    }

    const size_t bytes = static_cast<size_t>(format.valid_rec_size);
    for (uint32_t i = 0; i < layout.count; ++i) {
        if (std::fwrite(slot(layout.first + i), 1, bytes, job_.output) < bytes &&
            std::ferror(job_.output))
            return report_write_error();
    }
    return 0;
}

int TrackWriter::finish() {
    // Every record handed on to the system; the caller closes the output
    // (checked) and only then prints "done.".
    if (std::fflush(job_.output) != 0)
        return report_write_error();
    if (zero_records_ != 0 || sectors_not_written_ != 0 || tracks_not_written_ != 0)
        warn("%lu records written as zeros, %lu sectors not written, %lu tracks not written.",
             zero_records_, sectors_not_written_, tracks_not_written_);
    return 0;
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

int convert_from_control_file(const ControlFileJob& job) {
    // A sectors-per-track figure the store cannot hold is no figure at all.
    const uint32_t known_sectors =
        job.known_sectors >= 1 && job.known_sectors <= kMaxKnownSectors ? job.known_sectors : 0;
    TrackWriter writer(job, known_sectors);

    std::fprintf(job.out, "Using control file %s...", job.control_path);
    if (job.verbose)
        std::fputs("\n", job.out);
    if (std::fseek(job.input, 0, SEEK_SET) != 0) {
        std::fprintf(job.err, "Seek error #%d\n", errno);
        return -1;
    }

    ReportSource source(job, known_sectors);
    TrackLine track;
    for (;;) {
        Next next = source.next_track(track);
        if (next == Next::error)
            return -1;
        if (next == Next::end)
            break;
        writer.start_track(track);
        TrackSector sector;
        while ((next = source.next_sector(sector)) == Next::item)
            writer.take_sector(sector);
        if (next == Next::error)
            return -1;
        if (writer.end_track(source.format()) != 0)
            return -1;
    }
    return writer.finish();
}

} // namespace imgconv
