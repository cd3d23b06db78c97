// Fuzzes the TeleDisk reader: header, comment, tracks and sectors, and both advanced-mode decoders.
#include "imgconv/capture/tele_disk.h"

#include <cstdint>
#include <vector>

using namespace imgconv;

namespace {

constexpr size_t kHeaderCrcAt = 10;
constexpr uint8_t kKeepHeaderCrc = 0x80; // in the check-signature byte, which the reader ignores

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::vector<unsigned char> file(data, data + size);
    // A mutated header would nearly always fail its CRC and end the read at
    // once: make the CRC right, unless the input asks to keep it as it is.
    if (file.size() >= kTeleDiskHeaderBytes && !(file[3] & kKeepHeaderCrc)) {
        const uint16_t crc = tele_disk_crc(file.data(), kHeaderCrcAt);
        file[kHeaderCrcAt] = static_cast<unsigned char>(crc);
        file[kHeaderCrcAt + 1] = static_cast<unsigned char>(crc >> 8);
    }
    Capture capture;
    CaptureError error;
    if (!read_tele_disk(file, capture, error)) {
        if (error.what.empty())
            __builtin_trap();
        return 0;
    }
    for (const CaptureTrack& track : capture.tracks) {
        for (const CaptureSector& sector : track.sectors) {
            const size_t expected = sector.has_data ? sector.size : 0;
            if (sector.data.size() != expected || (sector.has_data && sector.size == 0))
                __builtin_trap();
        }
    }
    for (const std::string& line : capture.warnings) {
        if (line.rfind("Warning: ", 0) != 0 || line.back() != '\n')
            __builtin_trap();
    }
    return 0;
}
