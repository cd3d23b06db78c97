// Checks both directory readers make: shared records, repeated names, records in use, dates.
#pragma once

#include "hpfiles/volume.h"

#include <cstdint>
#include <string>
#include <vector>

namespace hpfiles {

// Records [start, end) of the disk.
struct Extent {
    uint64_t start = 0;
    uint64_t end = 0;
};

// Gives every entry with `live[i]` set that shares a record with another such entry the
// entries it shares with: up to kMaxOverlapNotes named by index, the rest counted.
void note_overlaps(std::vector<Entry>& entries, const std::vector<bool>& live);

// One warning per name that more than one entry with `live[i]` set carries (the first
// kMaxWarningsOfAKind names, then a count).
void warn_duplicate_names(const std::vector<Entry>& entries, const std::vector<bool>& live,
                          std::vector<std::string>& warnings);

// Directory warnings of one kind that are printed each on a line of their own; the rest are
// counted in one closing line, so that a damaged directory cannot flood the console (nor
// memory) with them.
constexpr uint64_t kMaxWarningsOfAKind = 10;

// Collects the warnings of one kind: the first kMaxWarningsOfAKind whole, then a count.
class WarningsOfAKind {
  public:
    explicit WarningsOfAKind(std::vector<std::string>& warnings) : warnings_(warnings) {}

    // Whether the next warning of this kind gets a line of its own; counts it either way.
    bool next() { return ++count_ <= kMaxWarningsOfAKind; }

    // Appends "Warning: <n> more <what>" for the ones left out, if any; `what` ends the line.
    void close(const char* what);

  private:
    std::vector<std::string>& warnings_;
    uint64_t count_ = 0;
};

// How many records of [0, limit) at least one of `extents` covers.
uint64_t covered_records(std::vector<Extent> extents, uint64_t limit);

// Six bytes YY MM DD hh mm ss in BCD as "YYYY-MM-DD HH:MM:SS" (years 70-99 are 19xx,
// 00-69 20xx); "" when all six are zero; their 12 hex digits when a digit is not BCD or a
// field is out of range.
std::string directory_date(const unsigned char* six);

// Records of a file of `records` records from `start` that an image of `image_records` holds.
uint32_t records_present(uint64_t start, uint64_t records, uint64_t image_records);

} // namespace hpfiles
