// Walks the items of one record of a BASIC or DATA file and lists their text.
#include "basiclist/record_scan.h"

#include "common/byte_order.h"

#include <cstdint>
#include <cstring>

namespace basiclist {

namespace {

constexpr unsigned char kFiller = 0x0D;   // one-byte filler item
constexpr unsigned char kMarkLead = 0x00; // first byte of every two-byte mark

// Type bytes that follow kMarkLead; each pair is treated alike.
constexpr unsigned char kLineItem = 0x3C;
constexpr unsigned char kLineItemToo = 0x2C;
constexpr unsigned char kTailItem = 0x1C;
constexpr unsigned char kTailItemToo = 0x0C;
constexpr unsigned char kEndOfRecord = 0x1E;
constexpr unsigned char kEndOfFile = 0x3E;
constexpr unsigned char kInteger = 0x0A;

// Mark, type and a 16-bit word (a line item's text length, an integer's
// value) before the text.
constexpr size_t kItemHeaderBytes = 4;

// Every listed line ends in carriage return, line feed.
constexpr unsigned char kLineEnd[] = {0x0D, 0x0A};

// Whether the bytes at q start an item the scan knows; q + 1 may lie past the record.
bool starts_item(const unsigned char* record, size_t record_bytes, size_t q) {
    if (record[q] == kFiller)
        return true;
    if (record[q] != kMarkLead || q + 1 >= record_bytes)
        return false;
    switch (record[q + 1]) {
    case kLineItem:
    case kLineItemToo:
    case kTailItem:
    case kTailItemToo:
    case kEndOfRecord:
    case kEndOfFile:
        return true;
    case kInteger:
        return q + kItemHeaderBytes <= record_bytes;
    default:
        return false;
    }
}

// Eight text bytes converted at once, each lane as convert_text_byte does it:
// cut to 7 bits, then a lane below 0x20 becomes 0x20. Adding 0x60 to a 7-bit
// lane sets its top bit exactly when the lane is 0x20 or more, and never
// carries into the next lane.
uint64_t convert_eight_text_bytes(uint64_t lanes) {
    constexpr uint64_t kLow7 = 0x7F7F7F7F7F7F7F7FULL;
    constexpr uint64_t kToTop = 0x6060606060606060ULL;
    constexpr uint64_t kTop = 0x8080808080808080ULL;
    constexpr uint64_t kSpaces = 0x2020202020202020ULL;
    const uint64_t seven = lanes & kLow7;
    const uint64_t printable = (((seven + kToTop) & kTop) >> 7) * 0xFF; // 0xFF per kept lane
    return (seven & printable) | (kSpaces & ~printable);
}

// Appends `count` converted text bytes from `from` at text[n]; returns the new n.
// Text makes up most of a BASIC file, so it is converted eight bytes a step.
size_t put_text(unsigned char* text, size_t n, const unsigned char* from, size_t count) {
    size_t i = 0;
    for (; i + sizeof(uint64_t) <= count; i += sizeof(uint64_t)) {
        uint64_t lanes;
        std::memcpy(&lanes, from + i, sizeof lanes);
        lanes = convert_eight_text_bytes(lanes);
        std::memcpy(text + n + i, &lanes, sizeof lanes);
    }
    for (; i < count; ++i)
        text[n + i] = convert_text_byte(from[i]);
    return n + count;
}

size_t put_line_end(unsigned char* text, size_t n) {
    text[n] = kLineEnd[0];
    text[n + 1] = kLineEnd[1];
    return n + sizeof kLineEnd;
}

// Appends a 16-bit two's-complement word in decimal and the line end.
size_t put_integer(unsigned char* text, size_t n, uint16_t word) {
    constexpr uint16_t kSignBit = 0x8000;
    // The magnitude of the most negative value, 32768, still fits.
    unsigned magnitude = word & kSignBit ? 0x10000u - word : word;
    if (word & kSignBit)
        text[n++] = '-';
    unsigned char digits[5]; // 32768 at most
    size_t count = 0;
    do {
        digits[count++] = static_cast<unsigned char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude > 0);
    while (count > 0)
        text[n++] = digits[--count];
    return put_line_end(text, n);
}

// Adds the unknown byte at q to the run that ends just before it, or starts a new run.
void note_unknown_byte(RecordScan& scan, size_t q) {
    if (!scan.unknown_runs.empty()) {
        UnknownRun& last = scan.unknown_runs.back();
        if (size_t{last.start} + last.length == q) {
            ++last.length;
            return;
        }
    }
    scan.unknown_runs.push_back(UnknownRun{static_cast<uint32_t>(q), 1});
}

} // namespace

RecordScan scan_record(const unsigned char* record, size_t record_bytes, unsigned char* text) {
    RecordScan result;
    size_t n = 0;
    size_t q = 0;
    // The scan never starts an item on the record's last byte, so a mark's
    // type byte always lies inside the record.
    while (q + 1 < record_bytes) {
        if (record[q] == kFiller) {
            ++q;
            continue;
        }
        const unsigned char type = record[q + 1];
        const bool mark = record[q] == kMarkLead;
        if (mark && (type == kLineItem || type == kLineItemToo)) {
            const size_t text_start = q + kItemHeaderBytes;
            if (text_start > record_bytes) {
                // The length field itself runs past the record: no text.
                result.cut_line = q;
                n = put_line_end(text, n);
                result.line_ended = true;
                break;
            }
            const size_t length = common::get_be16(record + q + 2);
            const size_t room = record_bytes - text_start;
            if (length > room) {
                result.cut_line = q;
                n = put_text(text, n, record + text_start, room);
                n = put_line_end(text, n);
                result.line_ended = true;
                break;
            }
            n = put_text(text, n, record + text_start, length);
            n = put_line_end(text, n);
            result.line_ended = true;
            q = text_start + length;
            // An odd-length text is followed by one pad byte of any value,
            // which brings the next item to an even position. A byte there
            // that starts an item is read as that item.
            if (length % 2 == 1 && q % 2 == 1 && q < record_bytes &&
                !starts_item(record, record_bytes, q))
                ++q;
        } else if (mark && (type == kTailItem || type == kTailItemToo)) {
            // The text runs to the record's last byte; the line stays open.
            const size_t text_start = q + kItemHeaderBytes;
            if (text_start < record_bytes)
                n = put_text(text, n, record + text_start, record_bytes - text_start);
            result.line_open = true;
            break;
        } else if (mark && type == kEndOfRecord) {
            break;
        } else if (mark && type == kEndOfFile) {
            result.end = ScanEnd::end_mark;
            break;
        } else if (mark && type == kInteger && q + kItemHeaderBytes <= record_bytes) {
            n = put_integer(text, n, common::get_be16(record + q + 2));
            result.line_ended = true;
            q += kItemHeaderBytes;
        } else {
            // Not an item: pass over this one byte so the scan always moves on.
            if (result.first_unknown == kNoPosition)
                result.first_unknown = q;
            note_unknown_byte(result, q);
            ++q;
        }
    }
    result.text_length = n;
    return result;
}

} // namespace basiclist
