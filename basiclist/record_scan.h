// The item scan of one 256-byte BASIC record and the 7-bit text conversion.
#pragma once

#include <cstddef>
#include <cstdint>

namespace basiclist {

constexpr size_t kRecordBytes = 256; // bytes per record of a BASIC file

// Most text one record can produce, in bytes. A counted line item turns 4 + L
// record bytes into L + 2 output bytes and every other item writes less than
// it covers, so the listing of a record is never longer than the record.
constexpr size_t kMaxRecordTextBytes = kRecordBytes;

// Marks its position with this value when a record had nothing to report.
constexpr size_t kNoPosition = static_cast<size_t>(-1);

// Consecutive scan positions that held no item, passed over one by one.
struct UnknownRun {
    uint16_t start = 0;  // position of its first byte in the record
    uint16_t length = 0; // bytes in the run
};

// Most runs one record can hold: they lie among the 255 scan positions and
// any two are parted by at least one byte of an item.
constexpr size_t kMaxUnknownRuns = kRecordBytes / 2;

// How the scan of a record ended.
enum class ScanEnd {
    finished, // the record is done; the next record follows
    end_mark, // the BASIC file's end mark: nothing after it is read
};

// What scanning one record gave.
struct RecordScan {
    ScanEnd end = ScanEnd::finished;
    size_t text_length = 0;             // bytes placed in the caller's text buffer
    size_t first_unknown = kNoPosition; // first scan position that held no known item
    size_t cut_line = kNoPosition;      // position of a counted line item cut at the record's end
    size_t unknown_run_count = 0;       // runs held in unknown_runs, in record order
    UnknownRun unknown_runs[kMaxUnknownRuns];
    bool line_ended = false; // at least one line end was written
    bool line_open = false;  // a record-tail item finished the record: its line goes on
};

// A text byte as it is listed: cut to 7 bits, control codes as a space.
constexpr unsigned char convert_text_byte(unsigned char b) {
    const unsigned char seven_bits = b & 0x7F;
    return seven_bits < 0x20 ? 0x20 : seven_bits;
}

// Scans one record and writes its listing (converted text and the 0D 0A line
// ends) into `text`, which holds kMaxRecordTextBytes. Unknown bytes are passed
// over one at a time and gathered into runs; a counted line item longer than
// the rest of the record is cut at the record's end and its line ended. Never
// reads past the record.
RecordScan scan_record(const unsigned char record[kRecordBytes],
                       unsigned char text[kMaxRecordTextBytes]);

} // namespace basiclist
