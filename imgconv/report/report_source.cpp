// Walks the report and the dump side by side: TRACK lines, sector lines, each sector's checks.
#include "imgconv/report/report_source.h"

#include "imgconv/dump/dump_reader.h"

#include "common/report.h"

namespace imgconv {

namespace {

constexpr uint32_t kLastSlot = kTrackSlots - 1; // highest record number a track holds

// The size field has three columns, so no sector is bigger than the record
// buffer that takes each sector's data.
static_assert(largest_field_value(kRecSizeIdField) <= kRecordBufferBytes,
              "a sector fits the record buffer");

unsigned long ul(uint32_t v) {
    return static_cast<unsigned long>(v);
}

} // namespace

Next ReportSource::control_read_error() const {
    std::fprintf(job_.err, "Read error on control file \"%s\" %s\n", job_.control_path,
                 common::error_number_text(report_.error).c_str());
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

} // namespace imgconv
