// What `list` prints: an aligned table for people or tab-separated lines for scripts.
#pragma once

#include "hpfiles/volume.h"

#include <cstdio>
#include <string>
#include <vector>

namespace hpfiles {

// The name with every byte outside 0x20..0x7E as \xHH (upper-case hex), and a backslash that
// would read as such an escape as \x5C.
std::string escape_name(const std::string& raw);

// The name a user typed, with its \xHH escapes (either case) turned back into bytes; any
// other backslash stands for itself. False when it holds a byte outside 0x20..0x7E, which
// no listed name does.
bool unescape_name(const std::string& typed, std::string& raw);

// An entry's notes as a listing shows them, separated by "; ": its fixed notes, "overlaps
// NAME" for each entry of `entries` it names, "overlaps N more files", "N records lost".
std::string joined_notes(const std::vector<Entry>& entries, const Entry& entry);

// Heading line, column titles, one line per entry, summary line.
std::string listing_text(const Volume& volume);

// Header line "name\ttype\tcode\tstart\trecords\tbytes\treclen\tdate\tnotes", then one line
// per entry.
std::string tsv_text(const Volume& volume);

void print_listing(const Volume& volume, FILE* out);
void print_tsv(const Volume& volume, FILE* out);

} // namespace hpfiles
