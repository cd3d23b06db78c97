// A floppy capture (ImageDisk or TeleDisk) read into memory: every track as the
// reading program met it, every sector with the ID it carried and its data.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace imgconv {

// One sector as the capture lists it, in the track's physical order.
struct CaptureSector {
    uint32_t cyl_id = 0;      // C of the sector's ID field
    uint32_t head_id = 0;     // H of the sector's ID field
    uint32_t record = 0;      // R of the sector's ID field
    uint32_t size = 0;        // bytes the ID's size code gives (128 << N)
    bool has_data = false;    // the capture holds the sector's data (`data`, `size` bytes)
    bool data_error = false;  // the disk gave the data with a data CRC error
    bool no_id_field = false; // data found without an ID field: the reading program made the ID up
    std::vector<unsigned char> data;
};

// One track as the capture lists it, in the order the tracks were read.
struct CaptureTrack {
    uint32_t cylinder = 0; // physical cylinder at which the track was read
    uint32_t head = 0;     // physical side (head byte & 1)
    std::vector<CaptureSector> sectors;
};

enum class CaptureKind { image_disk, tele_disk };

struct Capture {
    CaptureKind kind = CaptureKind::image_disk;
    std::string version;             // as the file gives it, e.g. "1.18" or "2.1"
    std::string compression;         // e.g. "none", "LZHUF (advanced)", "LZW (old advanced)"
    std::string comment;             // the capture's comment text, lines ended by '\n'
    bool dos_allocated_only = false; // TeleDisk kept only the sectors DOS had allocated
    // What reading the file found that is not fatal (the file's own CRCs that
    // do not match), each a whole "Warning: ...\n" line, in file order.
    std::vector<std::string> warnings;
    std::vector<CaptureTrack> tracks;
};

// Why a capture could not be read: what is wrong and where. `offset` counts
// bytes of the file, or of the decoded stream for a compressed TeleDisk
// capture (`in_decoded_stream`).
struct CaptureError {
    std::string what; // e.g. "ends inside a sector header", without file name or full stop
    uint64_t offset = 0;
    bool in_decoded_stream = false;
};

// The first bytes of an input tell a capture: "IMD " for ImageDisk, "TD" or
// "td" for TeleDisk. Anything else is a raw dump.
enum class InputKind { raw_dump, image_disk, tele_disk };
InputKind detect_input_kind(const unsigned char* start, size_t length);

// Every track, sector (with its data) and warning a reader keeps counts
// against this one limit, for ImageDisk and TeleDisk alike: more than any
// floppy disk's capture needs, so a hostile file is refused long before
// memory runs short.
constexpr size_t kMaxCaptureBytes = size_t{32} << 20;

// What a reader has kept so far, in bytes of memory.
class CaptureBudget {
  public:
    // Adds `bytes`; false once the total passes kMaxCaptureBytes.
    bool spend(size_t bytes) {
        spent_ += bytes;
        return spent_ <= kMaxCaptureBytes;
    }
    // The failure's text: "tracks and sectors fill more than 32 MiB".
    static std::string exceeded_text() {
        return "tracks and sectors fill more than " + std::to_string(kMaxCaptureBytes >> 20) +
               " MiB";
    }

  private:
    size_t spent_ = 0;
};

// The memory one warning line takes.
inline size_t warning_cost(const std::string& line) {
    return sizeof(std::string) + line.size();
}

} // namespace imgconv
