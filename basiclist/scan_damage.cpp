// Damage lines of the record scan, shared by every listing of BASIC items.
#include "basiclist/scan_damage.h"

#include "common/report.h"

#include <cinttypes>

namespace basiclist {

void ScanDamage::add(const RecordScan& scan, uint64_t record, uint64_t record_start,
                     const char* name, std::vector<std::string>& lines) {
    if (!scan.unknown_runs.empty())
        ++unknown_items_;
    // One line per run, however long: a whole line of the program can hide
    // behind a run, and its length says how much.
    for (const UnknownRun& run : scan.unknown_runs)
        if (++unknown_runs_ <= kMaxDamageLines)
            lines.push_back(common::format_message(
                "Record %" PRIu64 ": %u unknown bytes from byte offset %" PRIu64
                " of \"%s\" passed over\n",
                record, static_cast<unsigned>(run.length), record_start + run.start, name));
    if (scan.cut_line != kNoPosition && ++cut_lines_ <= kMaxDamageLines)
        lines.push_back(common::format_message("Record %" PRIu64
                                               ": line item at byte offset %" PRIu64
                                               " of \"%s\" runs past the record's end, cut there\n",
                                               record, record_start + scan.cut_line, name));
}

void ScanDamage::summarize(std::vector<std::string>& lines) const {
    if (unknown_runs_ > kMaxDamageLines)
        lines.push_back(common::format_message("... %" PRIu64 " records in all had unknown items\n",
                                               unknown_items_));
    if (cut_lines_ > kMaxDamageLines)
        lines.push_back(common::format_message(
            "... %" PRIu64 " records in all had a line cut at the record's end\n", cut_lines_));
}

} // namespace basiclist
