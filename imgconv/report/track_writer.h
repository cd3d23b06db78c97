// Writes a report's tracks into the image: each track's records in their places, lost ones named.
#pragma once

#include "imgconv/report/control_file.h"
#include "imgconv/report/report_source.h"

#include <bitset>
#include <cstdint>
#include <cstdio>
#include <vector>

namespace imgconv {

// What the end of a track writes: records `first` .. `first` + `count` - 1,
// one slot each, in record order. `zero_filled` are the records of that run
// that the track did not keep (written as zeros); `outside` are the kept
// records left out because they lie outside the track's record range.
struct TrackLayout {
    uint32_t first = 0;
    uint32_t count = 0; // 0: the track kept no record in its range and writes nothing
    std::bitset<kTrackSlots> zero_filled;
    std::bitset<kTrackSlots> outside;
};

// Lays out a track that kept the records in `kept`: its range is
// `first_record` .. `first_record` + `records_per_track` - 1, cut at the last
// slot. `records_per_track` is 1 to 256 and `first_record` 0 to 255.
TrackLayout lay_out_track(const std::bitset<kTrackSlots>& kept, uint32_t records_per_track,
                          uint32_t first_record);

// Every cylinder and head a TRACK line can give has a place in this table of
// written tracks, so it needs no room that grows with the report.
constexpr uint32_t kCylinderValues = field_value_count(kCylinderField);
constexpr uint32_t kHeadValues = field_value_count(kHeadField);
using WrittenTracks = std::bitset<size_t{kCylinderValues} * kHeadValues>;

// Unreadable tracks waiting to be named: more than a disk has tracks, so a
// real scan never fills this; beyond it they are counted, not named.
constexpr size_t kMaxNamedLostTracks = 4096;

// Takes tracks of sectors with their IDs, from whatever source, and writes
// each track's records in their places, or names why it writes nothing. The
// source's order stays the image's order, so every track that moves the
// records after it is named. Its store is allocated once per run.
class TrackWriter {
  public:
    TrackWriter(const ControlFileJob& job, uint32_t known_sectors);

    // A new track starts with an empty store, so no slot shows an earlier
    // track's data and a slot the track does not fill is written as zeros.
    void start_track(const TrackLine& track);
    // A kept sector's record is 0..255 and its size at most a slot.
    void take_sector(const TrackSector& sector);
    // Ends the current track with the disk's format as known at its end.
    int end_track(const DiskFormat& format);
    // Hands every record on to the system and sums up what was not in place.
    int finish();
    // After the walk: the last `bytes` bytes of the dump were taken by no sector line.
    void warn_unread_input(uint64_t bytes);

  private:
    unsigned char* slot(uint32_t record);
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
    std::bitset<kTrackSlots> kept_; // records the current track stored
    bool has_sector_lines_ = false; // the current track lists at least one sector
    bool any_valid_size_ = false;   // ... and one of them has the valid sector size

    unsigned long zero_records_ = 0;        // records written as zeros
    unsigned long sectors_not_written_ = 0; // kept sectors left out, once per record per track
    unsigned long tracks_not_written_ = 0;  // tracks named as not written
    bool warned_ = false;                   // a warning of this conversion has been printed
};

} // namespace imgconv
