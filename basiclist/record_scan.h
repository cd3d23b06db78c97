// The item scan of one record of a BASIC or DATA file and the 7-bit text conversion.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace basiclist {

constexpr size_t kRecordBytes = 256; // bytes per record of a BASIC file

// Most text one record of `record_bytes` bytes can produce, in bytes. An
// integer item turns 4 record bytes into at most 8 ("-32768" and the line
// end); a counted line item turns 4 + L bytes into L + 2, and every other item
// writes less than it covers.
constexpr size_t max_record_text_bytes(size_t record_bytes) {
    return 2 * record_bytes;
}
constexpr size_t kMaxRecordTextBytes = max_record_text_bytes(kRecordBytes);

// Marks its position with this value when a record had nothing to report.
constexpr size_t kNoPosition = static_cast<size_t>(-1);

// Consecutive scan positions that held no item, passed over one by one.
struct UnknownRun {
    uint32_t start = 0;  // position of its first byte in the record
    uint32_t length = 0; // bytes in the run
};

// How the scan of a record ended.
enum class ScanEnd {
    finished, // the record is done; the next record follows
    end_mark, // the BASIC file's end mark: nothing after it is read
};

// What scanning one record gave.
struct RecordScan {
    ScanEnd end = ScanEnd::finished;
    size_t text_length = 0;               // bytes placed in the caller's text buffer
    size_t first_unknown = kNoPosition;   // first scan position that held no known item
    size_t cut_line = kNoPosition;        // position of a counted line item cut at the record's end
    std::vector<UnknownRun> unknown_runs; // in record order; at most one per two bytes
    bool line_ended = false;              // at least one line end was written
    bool line_open = false; // a record-tail item finished the record: its line goes on
};

// A text byte as it is listed: cut to 7 bits, control codes as a space.
constexpr unsigned char convert_text_byte(unsigned char b) {
    const unsigned char seven_bits = b & 0x7F;
    return seven_bits < 0x20 ? 0x20 : seven_bits;
}

// Scans one record of `record_bytes` bytes (256 in a BASIC file; words per
// record x 2 in a DATA file) and writes its listing (converted text, integers
// in decimal, the 0D 0A line ends) into `text`, which holds
// max_record_text_bytes(record_bytes). The one pad byte after an odd-length
// counted line item, at the odd position that follows it, is passed over
// unless it starts an item. Other unknown bytes are passed over one at a time
// and gathered into runs; a counted line item longer than the rest of the
// record is cut at the record's end and its line ended. Never reads past the
// record.
RecordScan scan_record(const unsigned char* record, size_t record_bytes, unsigned char* text);

} // namespace basiclist
