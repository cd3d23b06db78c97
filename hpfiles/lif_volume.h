// The LIF volume label and directory read into the directory model.
#pragma once

#include "hpfiles/volume.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hpfiles {

// Record 0 opens with the LIF identifier.
bool is_lif(const std::vector<unsigned char>& image);

// The label and every directory entry up to the end mark, the directory's end or the image's
// end, whichever comes first, with their notes, the volume's warnings and its free records.
void read_lif_volume(const std::vector<unsigned char>& image, Volume& volume);

// "TEXT", "DATA", ... or "?" and the four hex digits of a type no table names.
std::string lif_type_name(uint16_t type);

// The HP-85/86/87 types, whose directory bytes 28-31 hold a byte count and a record length.
bool is_hp85_type(uint16_t type);

} // namespace hpfiles
