// Positioned record read: 32-bit signed seek, error indicator told apart from the end of input.
#include "imgconv/read_block.h"

#include <cerrno>
#include <cstring>

namespace imgconv {

namespace {

// The highest byte position a signed 32-bit seek offset can name.
constexpr uint32_t kMaxSeekOffset = 0x7FFFFFFFu;

} // namespace

int read_block(FILE* stream, unsigned char* buffer, uint32_t offset, uint32_t length, FILE* err,
               uint32_t* delivered) {
    if (delivered)
        *delivered = 0;
    // As a signed 32-bit position such an offset is negative: the seek fails
    // the way fseek fails for a negative position, on every platform alike.
    if (offset > kMaxSeekOffset) {
        std::fprintf(err, "Seek error #%d\n", EINVAL);
        return -1;
    }
    if (std::fseek(stream, static_cast<long>(offset), SEEK_SET) != 0) {
        std::fprintf(err, "Seek error #%d\n", errno);
        return -1;
    }
    const size_t got = std::fread(buffer, 1, length, stream);
    if (got < length && std::ferror(stream)) {
        std::fprintf(err, "Read error (%d bytes read)\n", static_cast<int>(got));
        return -1;
    }
    std::memset(buffer + got, 0, length - got);
    if (delivered)
        *delivered = static_cast<uint32_t>(got);
    return 0;
}

} // namespace imgconv
