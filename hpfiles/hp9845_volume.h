// The HP 9845's own system record, directory and free table read into the directory model.
#pragma once

#include "hpfiles/volume.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hpfiles {

// Record 0 reads as a plausible 9845 system record: 1..255 records per track, the directory
// before the free table, both inside the system tracks, at least one system and one data
// track, and the two within the disk's tracks.
bool is_hp9845(const std::vector<unsigned char>& image);

// The system record, every directory entry up to the end mark, the directory's end or the
// image's end, the free table, with the entries' notes and the volume's warnings.
void read_hp9845_volume(const std::vector<unsigned char>& image, Volume& volume);

// "DATA", "PROG", ... or "?" and the two hex digits of the 6-bit type code of `type_word`.
std::string hp9845_type_name(uint16_t type_word);

} // namespace hpfiles
