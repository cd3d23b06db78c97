// A 9845 DATA file as text: its item stream, record by logical record, through basiclist's scan.
#include "hpfiles/text/text.h"
#include "hpfiles/text/text_lines.h"

#include "basiclist/record_scan.h"

#include <algorithm>
#include <cinttypes>

namespace hpfiles {

namespace {

// Logical record sizes in bytes that a directory entry can give: 2..16383
// words, and no item fits a record of fewer than 4 bytes.
constexpr uint32_t kMinRecordBytes = 4;
constexpr uint32_t kMaxRecordBytes = 32766;
// The record size of every real DATA file, taken where the directory's is not usable.
constexpr uint32_t kFallbackRecordBytes = 256;

// Records per file that get a line of their own for each kind of damage, as
// basiclist counts them, so that a file of garbage cannot flood the console.
constexpr uint64_t kMaxDamageLines = 10;

struct DamageCount {
    uint64_t unknown_items = 0; // records with unknown bytes
    uint64_t unknown_runs = 0;
    uint64_t cut_lines = 0;
};

// basiclist's damage lines, with the file's name and offsets within the file.
void report_damage(const basiclist::RecordScan& scan, uint64_t record, uint64_t record_start,
                   const std::string& name, DamageCount& count,
                   std::vector<std::string>& messages) {
    if (!scan.unknown_runs.empty())
        ++count.unknown_items;
    for (const basiclist::UnknownRun& run : scan.unknown_runs)
        if (++count.unknown_runs <= kMaxDamageLines)
            messages.push_back(message_line(
                "Record %" PRIu64 ": %u unknown bytes from byte offset %" PRIu64
                " of \"%s\" passed over\n",
                record, static_cast<unsigned>(run.length), record_start + run.start, name.c_str()));
    if (scan.cut_line != basiclist::kNoPosition && ++count.cut_lines <= kMaxDamageLines)
        messages.push_back(message_line("Record %" PRIu64 ": line item at byte offset %" PRIu64
                                        " of \"%s\" runs past the record's end, cut there\n",
                                        record, record_start + scan.cut_line, name.c_str()));
}

void summarize_damage(const DamageCount& count, std::vector<std::string>& messages) {
    if (count.unknown_runs > kMaxDamageLines)
        messages.push_back(message_line("... %" PRIu64 " records in all had unknown items\n",
                                        count.unknown_items));
    if (count.cut_lines > kMaxDamageLines)
        messages.push_back(message_line("... %" PRIu64
                                        " records in all had a line cut at the record's end\n",
                                        count.cut_lines));
}

} // namespace

bool data9845_text(const std::vector<unsigned char>& bytes, uint32_t record_bytes,
                   const std::string& shown_name, std::string& text,
                   std::vector<std::string>& messages) {
    text.clear();
    size_t size = record_bytes;
    if (record_bytes < kMinRecordBytes || record_bytes % 2 != 0 || record_bytes > kMaxRecordBytes) {
        messages.push_back(message_line("Warning: file \"%s\": its logical records of %" PRIu32
                                        " bytes cannot hold items; read as %" PRIu32
                                        "-byte records.\n",
                                        shown_name.c_str(), record_bytes, kFallbackRecordBytes));
        size = kFallbackRecordBytes;
    }
    std::vector<unsigned char> listing(basiclist::max_record_text_bytes(size));
    DamageCount damage;
    bool line_open = false;
    uint64_t record = 0;
    // The last record may be shorter where the records do not fill the file's
    // 256-byte records exactly; it is scanned as far as it goes.
    for (size_t offset = 0; offset < bytes.size(); offset += size, ++record) {
        const size_t here = std::min(size, bytes.size() - offset);
        const basiclist::RecordScan scan =
            basiclist::scan_record(bytes.data() + offset, here, listing.data());
        text.append(reinterpret_cast<const char*>(listing.data()), scan.text_length);
        report_damage(scan, record, offset, shown_name, damage, messages);
        if (scan.line_open)
            line_open = true;
        else if (scan.line_ended)
            line_open = false;
        if (scan.end == basiclist::ScanEnd::end_mark)
            break;
    }
    summarize_damage(damage, messages);
    // A split string whose last piece the file does not hold: its line is
    // ended here, so that the text is whole lines.
    if (line_open) {
        text += kTextLineEnd;
        messages.push_back(message_line(
            "Warning: file \"%s\": its last line is incomplete: the file ends inside it.\n",
            shown_name.c_str()));
    }
    return true;
}

} // namespace hpfiles
