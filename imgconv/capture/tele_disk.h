// TeleDisk captures: the reader of a whole TeleDisk file, normal or advanced, held in memory.
#pragma once

#include "imgconv/capture/capture.h"
#include "imgconv/capture/tele_disk_decode.h"

#include <cstddef>
#include <vector>

namespace imgconv {

// The image header that opens every TeleDisk file, never compressed.
constexpr size_t kTeleDiskHeaderBytes = 12;

// Reads a whole TeleDisk file. Returns true and fills `capture`, or returns
// false and fills `error`.
bool read_tele_disk(const std::vector<unsigned char>& file, Capture& capture, CaptureError& error);

} // namespace imgconv
