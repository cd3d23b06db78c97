// Disk rebuilt from a SECSCAN sector report and a dump of the reported sectors.
#pragma once

#include <bitset>
#include <cstdint>
#include <cstdio>

namespace imgconv {

// Record slots of the track store: records 0 to 255.
constexpr uint32_t kTrackSlots = 256;

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

// What a control-file conversion works on. The streams stay open; they
// belong to the caller.
struct ControlFileJob {
    FILE* input = nullptr;   // the dump, read from its start in report order
    FILE* output = nullptr;  // the rebuilt disk
    FILE* control = nullptr; // the sector report
    const char* control_path = "";
    const char* output_path = "";
    bool verbose = false;
    // The disk's sectors per track when known before the walk (from "-s" or
    // the LIF header), else 0; a value outside 1..256 counts as unknown.
    uint32_t known_sectors = 0;
    // kRecordBufferBytes bytes; each sector's data passes through it.
    unsigned char* record_buffer = nullptr;
    FILE* out = stdout; // messages
    FILE* err = stderr; // failures
};

// Walks the report and the dump together and writes the rebuilt records to
// the output. Returns 0, or -1 after a failure. The output has been flushed
// when 0 is returned, and the caller prints "done." once it has closed it.
int convert_from_control_file(const ControlFileJob& job);

} // namespace imgconv
