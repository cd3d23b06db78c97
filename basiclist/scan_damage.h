// The damage a record scan meets, as lines for the user: each kind named for the first records,
// then counted.
#pragma once

#include "basiclist/record_scan.h"

#include <cstdint>
#include <string>
#include <vector>

namespace basiclist {

// Records per file that get a line of their own for each kind of damage, so
// that a file of garbage cannot flood the console.
constexpr uint64_t kMaxDamageLines = 10;

class ScanDamage {
  public:
    // Appends the lines for one scanned record to `lines`: one per run of
    // unknown bytes and one for a line item cut at the record's end.
    // `record` counts records from 0, `record_start` is the offset of the
    // record's first byte in the file, `name` the file as messages name it.
    void add(const RecordScan& scan, uint64_t record, uint64_t record_start, const char* name,
             std::vector<std::string>& lines);

    // Appends the closing counts, only where lines were left out.
    void summarize(std::vector<std::string>& lines) const;

  private:
    uint64_t unknown_items_ = 0; // records with unknown bytes
    uint64_t unknown_runs_ = 0;
    uint64_t cut_lines_ = 0;
};

} // namespace basiclist
