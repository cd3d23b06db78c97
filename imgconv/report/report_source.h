// The report and the dump read together: each track's sectors with their IDs and their data.
#pragma once

#include "imgconv/report/control_file.h"
#include "imgconv/report/report_reader.h"

#include <cstdint>

namespace imgconv {

// Record slots of a track: records 0 to 255.
constexpr uint32_t kTrackSlots = 256;
// A record number past every slot: none seen yet.
constexpr uint32_t kNoRecordYet = kTrackSlots;

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

} // namespace imgconv
