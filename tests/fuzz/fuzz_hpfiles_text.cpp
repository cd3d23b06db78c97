// Fuzzes the three text conversions: any file bytes give whole CR LF lines of 7-bit text only.
#include "hpfiles/text/text.h"

#include <cstdint>
#include <string>
#include <vector>

using namespace hpfiles;

namespace {

// Whole lines of characters 0x20..0x7F, each ended by CR LF, and nothing else.
bool whole_text_lines(const std::string& text) {
    for (size_t i = 0; i < text.size(); ++i) {
        const auto b = static_cast<unsigned char>(text[i]);
        if (b == 0x0D) {
            if (i + 1 >= text.size() || text[i + 1] != '\n')
                return false;
            ++i;
        } else if (b < 0x20 || b > 0x7F) {
            return false;
        }
    }
    return text.empty() || text.back() == '\n';
}

bool whole_message_lines(const std::vector<std::string>& messages) {
    for (const std::string& m : messages)
        if (m.empty() || m.back() != '\n' || m.find('\n') != m.size() - 1)
            return false;
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    // Byte 0: the conversion; bytes 1-2: the directory's logical record length.
    if (size < 3)
        return 0;
    const unsigned kind = data[0] % 3;
    const uint32_t record_bytes = static_cast<uint32_t>(data[1] << 8 | data[2]);
    // The file's bytes in a vector of exactly their size, so that a read past them is caught.
    const std::vector<unsigned char> bytes(data + 3, data + size);
    std::string text;
    std::vector<std::string> messages;
    bool ok = false;
    size_t most_text = 0; // bytes the text may hold at most
    switch (kind) {
    case 0:
        ok = data9845_text(bytes, record_bytes, "F\\x01", text, messages);
        most_text = 2 * bytes.size() + 2; // integers: 4 bytes listed as up to 8
        break;
    case 1:
        ok = lif_text_text(bytes, "F\\x01", text, messages);
        most_text = bytes.size();
        break;
    default:
        ok = hp85_data_text(bytes, record_bytes, "F\\x01", text, messages);
        most_text = 2 * bytes.size() + 2;
        break;
    }
    if (text.size() > most_text || !whole_text_lines(text) || !whole_message_lines(messages))
        __builtin_trap();
    // Damage is reported in a few lines, however damaged the file.
    if (messages.size() > 25)
        __builtin_trap();
    // Only LIF TEXT refuses, with an empty text and the refusal as its one message.
    if (!ok && (kind != 1 || !text.empty() || messages.size() != 1))
        __builtin_trap();
    return 0;
}
