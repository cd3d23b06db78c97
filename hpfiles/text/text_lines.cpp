// Converted characters and formatted message lines for the text conversions.
#include "hpfiles/text/text_lines.h"

#include "basiclist/record_scan.h"

#include <cstdarg>
#include <cstdio>

namespace hpfiles {

void append_converted(std::string& text, const unsigned char* from, size_t count) {
    const size_t start = text.size();
    text.resize(start + count);
    for (size_t i = 0; i < count; ++i)
        text[start + i] = static_cast<char>(basiclist::convert_text_byte(from[i]));
}

std::string message_line(const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list again;
    va_copy(again, args);
    const int length = std::vsnprintf(nullptr, 0, format, args);
    va_end(args);
    std::string line;
    if (length > 0) {
        line.resize(static_cast<size_t>(length) + 1);
        std::vsnprintf(&line[0], line.size(), format, again);
        line.resize(static_cast<size_t>(length));
    }
    va_end(again);
    return line;
}

} // namespace hpfiles
