// A 9845 DATA file as text: its item stream, record by logical record, through basiclist's scan.
#include "hpfiles/text/text.h"
#include "hpfiles/text/text_lines.h"

#include "basiclist/record_scan.h"
#include "basiclist/scan_damage.h"

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

} // namespace

bool data9845_text(const std::vector<unsigned char>& bytes, uint32_t record_bytes,
                   const std::string& shown_name, std::string& text,
                   std::vector<std::string>& messages) {
    text.clear();
    size_t size = record_bytes;
    if (record_bytes < kMinRecordBytes || record_bytes % 2 != 0 || record_bytes > kMaxRecordBytes) {
        messages.push_back(format_message("Warning: file \"%s\": its logical records of %" PRIu32
                                          " bytes cannot hold items; read as %" PRIu32
                                          "-byte records.\n",
                                          shown_name.c_str(), record_bytes, kFallbackRecordBytes));
        size = kFallbackRecordBytes;
    }
    std::vector<unsigned char> listing(basiclist::max_record_text_bytes(size));
    basiclist::ScanDamage damage;
    bool line_open = false;
    uint64_t record = 0;
    // The last record may be shorter where the records do not fill the file's
    // 256-byte records exactly; it is scanned as far as it goes.
    for (size_t offset = 0; offset < bytes.size(); offset += size, ++record) {
        const size_t here = std::min(size, bytes.size() - offset);
        const basiclist::RecordScan scan =
            basiclist::scan_record(bytes.data() + offset, here, listing.data());
        text.append(reinterpret_cast<const char*>(listing.data()), scan.text_length);
        damage.add(scan, record, offset, shown_name.c_str(), messages);
        if (scan.line_open)
            line_open = true;
        else if (scan.line_ended)
            line_open = false;
        if (scan.end == basiclist::ScanEnd::end_mark)
            break;
    }
    damage.summarize(messages);
    // A split string whose last piece the file does not hold: its line is
    // ended here, so that the text is whole lines.
    if (line_open) {
        text += kTextLineEnd;
        messages.push_back(format_message(
            "Warning: file \"%s\": its last line is incomplete: the file ends inside it.\n",
            shown_name.c_str()));
    }
    return true;
}

} // namespace hpfiles
