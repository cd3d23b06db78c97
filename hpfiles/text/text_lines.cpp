// Converted characters for the text conversions.
#include "hpfiles/text/text_lines.h"

#include "basiclist/record_scan.h"

namespace hpfiles {

void append_converted(std::string& text, const unsigned char* from, size_t count) {
    const size_t start = text.size();
    text.resize(start + count);
    for (size_t i = 0; i < count; ++i)
        text[start + i] = static_cast<char>(basiclist::convert_text_byte(from[i]));
}

} // namespace hpfiles
