// The track writer: a store of one track's records, written in record order when the track ends.
#include "imgconv/report/track_writer.h"

#include "imgconv/dump/dump_reader.h"

#include "common/report.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace imgconv {

namespace {

constexpr uint32_t kSlotCount = kTrackSlots;      // records per track the store holds
constexpr uint32_t kLastSlot = kSlotCount - 1;    // highest record number the store holds
constexpr size_t kSlotBytes = kRecordBufferBytes; // bytes per record slot
static_assert(largest_field_value(kRecSizeIdField) <= kSlotBytes, "a sector fits a slot");

unsigned long ul(uint32_t v) {
    return static_cast<unsigned long>(v);
}

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

} // namespace

TrackWriter::TrackWriter(const ControlFileJob& job, uint32_t known_sectors)
    : job_(job), store_(size_t{kSlotCount} * kSlotBytes), lost_(kMaxNamedLostTracks),
      records_per_track_(known_sectors) {}

unsigned char* TrackWriter::slot(uint32_t record) {
    return &store_[size_t{record} * kSlotBytes];
}

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
    common::Reporter(job_.out, job_.err).write_error(job_.output_path, errno);
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

void TrackWriter::warn_unread_input(uint64_t bytes) {
    warn("the last %llu bytes of the input were not read; the report may be cut short.",
         static_cast<unsigned long long>(bytes));
}

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

} // namespace imgconv
