// An HP-85/86/87 DATA file as text: its strings, split ones joined, one line each; numbers skipped.
#include "hpfiles/text/text.h"
#include "hpfiles/text/text_lines.h"

#include "common/byte_order.h"

#include <algorithm>
#include <cinttypes>

namespace hpfiles {

namespace {

// Type bytes; the string items carry a little-endian 16-bit length after them.
constexpr unsigned char kWholeString = 0xDF;
constexpr unsigned char kFirstPiece = 0xCF; // length: the whole string's
constexpr unsigned char kNextPiece = 0x6F;  // length: the characters still owed
constexpr unsigned char kRecordDone = 0xEF; // nothing more in this record
constexpr unsigned char kUnused = 0xFF;     // nothing more in this record either

constexpr size_t kStringHeaderBytes = 3; // type byte and length
constexpr size_t kNumberBytes = 8;       // a number: no type byte, 8 bytes
constexpr unsigned char kCarriageReturn = 0x0D;

// Taken where the directory gives no logical record length.
constexpr uint32_t kFallbackRecordBytes = 256;

// The text being built and the string whose line is still open.
class Lines {
  public:
    // Adds characters of the current string, which opens if it is not open.
    void add(const unsigned char* from, size_t count) {
        if (!open_) {
            open_ = true;
            string_start_ = text_.size();
        }
        if (count > 0) {
            append_converted(text_, from, count);
            ends_in_cr_ = from[count - 1] == kCarriageReturn;
        }
    }
    // Ends the current string's line; a whole string's own final CR is dropped.
    void end(bool whole) {
        if (whole && ends_in_cr_ && text_.size() > string_start_)
            text_.pop_back();
        text_ += kTextLineEnd;
        open_ = false;
        ends_in_cr_ = false;
    }
    bool open() const { return open_; }
    std::string& text() { return text_; }

  private:
    std::string text_;
    bool open_ = false;
    bool ends_in_cr_ = false; // the last character added was CR
    size_t string_start_ = 0; // where the open string's characters begin in text_
};

struct Counts {
    uint64_t numbers = 0;         // numbers passed over
    uint64_t damaged_strings = 0; // strings cut short, pieces missing or out of place
};

enum class RecordEnd { next_record, end_of_data };

// Lists the string items of one logical record of `size` bytes.
RecordEnd list_record(const unsigned char* r, size_t size, Lines& lines, Counts& counts) {
    // A split string goes on only with a piece at the start of the next record.
    if (lines.open() && r[0] != kNextPiece) {
        lines.end(false);
        ++counts.damaged_strings;
    }
    size_t p = 0;
    while (p < size) {
        const unsigned char type = r[p];
        if (type == kRecordDone || type == kUnused)
            return RecordEnd::next_record;
        if (type != kWholeString && type != kFirstPiece && type != kNextPiece) {
            // Any other byte starts a number; never more than the record holds.
            ++counts.numbers;
            p += std::min(kNumberBytes, size - p);
            continue;
        }
        if (size - p < kStringHeaderBytes) {
            ++counts.damaged_strings; // the length lies past the record's end
            return RecordEnd::next_record;
        }
        const size_t length = common::get_le16(r + p + 1);
        p += kStringHeaderBytes;
        // An empty string with nothing after it in its record ends the data.
        if (type == kWholeString && length == 0 && p < size && r[p] == kRecordDone)
            return RecordEnd::end_of_data;
        if (type == kNextPiece && !lines.open())
            ++counts.damaged_strings; // no first piece before it: listed on its own
        const size_t taken = std::min(length, size - p);
        lines.add(r + p, taken);
        p += taken;
        if (taken == length) {
            lines.end(true);
        } else if (type == kWholeString) {
            // A whole string never goes on in the next record.
            lines.end(false);
            ++counts.damaged_strings;
        }
        // Otherwise a piece has filled the record and the string goes on.
    }
    return RecordEnd::next_record;
}

} // namespace

bool hp85_data_text(const std::vector<unsigned char>& bytes, uint32_t record_bytes,
                    const std::string& shown_name, std::string& text,
                    std::vector<std::string>& messages) {
    text.clear();
    size_t size = record_bytes;
    if (record_bytes == 0) {
        messages.push_back(
            format_message("Warning: file \"%s\": its logical record length is 0; read as %" PRIu32
                           "-byte records.\n",
                           shown_name.c_str(), kFallbackRecordBytes));
        size = kFallbackRecordBytes;
    }
    Lines lines;
    Counts counts;
    for (size_t offset = 0; offset < bytes.size(); offset += size) {
        const size_t here = std::min(size, bytes.size() - offset);
        if (list_record(bytes.data() + offset, here, lines, counts) == RecordEnd::end_of_data)
            break;
    }
    if (lines.open()) {
        lines.end(false); // the file ends before the string does
        ++counts.damaged_strings;
    }
    if (counts.numbers > 0)
        messages.push_back(format_message(
            "Warning: file \"%s\": %" PRIu64 " %s passed over; only strings have a text form.\n",
            shown_name.c_str(), counts.numbers, counts.numbers == 1 ? "number" : "numbers"));
    if (counts.damaged_strings > 0)
        messages.push_back(
            format_message("Warning: file \"%s\": %" PRIu64
                           " %s cut short or with a piece missing; written as found.\n",
                           shown_name.c_str(), counts.damaged_strings,
                           counts.damaged_strings == 1 ? "string" : "strings"));
    text = std::move(lines.text());
    return true;
}

} // namespace hpfiles
