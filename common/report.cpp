// The kit's message forms: warnings, failures and error numbers with their meaning.
#include "common/report.h"

#include <cerrno>
#include <cstdarg>
#include <cstring>

namespace common {

std::string error_number_text(int error) {
    std::string text = "#" + std::to_string(error);
    if (error == 0)
        return text;
    // strerror's text for a number it does not know is "Unknown error ..."
    // and says nothing the number does not.
    const char* meaning = std::strerror(error);
    if (meaning && *meaning && std::strncmp(meaning, "Unknown error", 13) != 0)
        text += std::string(" (") + meaning + ")";
    return text;
}

std::string format_message(const char* format, ...) {
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

void Reporter::warning(const char* format, ...) const {
    std::fputs("Warning: ", warnings_);
    va_list args;
    va_start(args, format);
    std::vfprintf(warnings_, format, args);
    va_end(args);
}

void Reporter::error(const char* format, ...) const {
    va_list args;
    va_start(args, format);
    std::vfprintf(errors_, format, args);
    va_end(args);
}

void Reporter::read_error(const char* name, int error) const {
    std::fprintf(errors_, "Read error on file \"%s\" %s\n", name, error_number_text(error).c_str());
}

void Reporter::write_error(const char* name, int error) const {
    std::fprintf(errors_, "Write error on file \"%s\" %s\n", name,
                 error_number_text(error).c_str());
}

bool Reporter::warnings_delivered(const char* stream_name) const {
    // Cleared first: a failure that sets no errno of its own reports #0.
    errno = 0;
    if (std::fflush(warnings_) == 0 && !std::ferror(warnings_))
        return true;
    write_error(stream_name, errno);
    return false;
}

} // namespace common
