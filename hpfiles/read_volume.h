// Tells a LIF volume from an HP 9845 file system and reads the one it finds.
#pragma once

#include "hpfiles/volume.h"

#include <vector>

namespace hpfiles {

// Reads the directory of `image` (an HP-order image) into `volume`. False when the image
// holds neither file system; `volume` then holds nothing of use.
bool read_volume(const std::vector<unsigned char>& image, Volume& volume);

} // namespace hpfiles
