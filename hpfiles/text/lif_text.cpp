// A LIF TEXT file as text: one line per text record, up to the end record.
#include "hpfiles/text/text.h"
#include "hpfiles/text/text_lines.h"

#include "common/byte_order.h"

namespace hpfiles {

namespace {

constexpr size_t kLengthBytes = 2;        // the length word before each record's bytes
constexpr uint16_t kEndRecord = 0xFFFF;   // ends the file
constexpr uint16_t kEmptyRecord = 0xFFFE; // a record without bytes

} // namespace

bool lif_text_text(const std::vector<unsigned char>& bytes, const std::string& shown_name,
                   std::string& text, std::vector<std::string>& messages) {
    text.clear();
    if (bytes.empty())
        return true;
    std::string lines;
    size_t pos = 0;
    for (;;) {
        // Each step takes at least the length word, so the walk ends.
        if (bytes.size() - pos < kLengthBytes)
            break; // no end record before the file's end
        const uint16_t length = common::get_be16(bytes.data() + pos);
        pos += kLengthBytes;
        if (length == kEndRecord) {
            text = std::move(lines);
            return true;
        }
        if (length == kEmptyRecord) {
            lines += kTextLineEnd;
            continue;
        }
        // The record's bytes and, after an odd length, its pad byte.
        const size_t taken = size_t{length} + length % 2;
        if (taken > bytes.size() - pos)
            break;
        append_converted(lines, bytes.data() + pos, length);
        lines += kTextLineEnd;
        pos += taken;
    }
    messages.push_back(format_message("File \"%s\" is not LIF TEXT; use get for its bytes.\n",
                                      shown_name.c_str()));
    return false;
}

} // namespace hpfiles
