// ImageDisk captures: the reader of a whole ImageDisk file held in memory.
#pragma once

#include "imgconv/capture/capture.h"

#include <vector>

namespace imgconv {

// Reads a whole ImageDisk file. Returns true and fills `capture`, or returns
// false and fills `error`.
bool read_image_disk(const std::vector<unsigned char>& file, Capture& capture, CaptureError& error);

} // namespace imgconv
