// Reads of the dump: positioned record reads (32-bit signed seek, the error indicator told apart
// from the end of input) and the track-sized read-ahead of the linear conversion.
#include "imgconv/dump/dump_reader.h"

#include "common/report.h"

#include <cerrno>
#include <cstring>

namespace imgconv {

int read_block(FILE* stream, unsigned char* buffer, uint32_t offset, uint32_t length, FILE* err,
               uint32_t* delivered) {
    if (delivered)
        *delivered = 0;
    // As a signed 32-bit position such an offset is negative: the seek fails
    // the way fseek fails for a negative position, on every platform alike.
    if (offset > kMaxSeekOffset) {
        std::fprintf(err, "Seek error %s\n", common::error_number_text(EINVAL).c_str());
        return -1;
    }
    if (std::fseek(stream, static_cast<long>(offset), SEEK_SET) != 0) {
        std::fprintf(err, "Seek error %s\n", common::error_number_text(errno).c_str());
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

// The track window: one seek and one read per track of the dump.

TrackWindow::TrackWindow() : storage_(new unsigned char[kCapacityBytes + kPageBytes]) {
    void* start = storage_.get();
    size_t room = kCapacityBytes + kPageBytes;
    bytes_ = static_cast<unsigned char*>(std::align(kPageBytes, kCapacityBytes, start, room));
}

bool TrackWindow::load(FILE* input, uint32_t first, uint32_t span) {
    span_ = 0;
    if (span == 0 || span > kCapacityBytes || uint64_t(first) + span - 1 > kMaxSeekOffset)
        return false;
    if (std::fseek(input, static_cast<long>(first), SEEK_SET) != 0)
        return false;
    const size_t got = std::fread(bytes_, 1, span, input);
    if (got < span && std::ferror(input)) {
        std::clearerr(input);
        return false;
    }
    first_ = first;
    span_ = span;
    delivered_ = static_cast<uint32_t>(got);
    return true;
}

bool TrackWindow::holds(uint32_t offset, uint32_t length) const {
    return span_ != 0 && offset >= first_ && uint64_t(offset) + length <= uint64_t(first_) + span_;
}

uint32_t TrackWindow::copy(uint32_t offset, uint32_t length, unsigned char* buffer) const {
    const uint32_t from = offset - first_;
    const uint32_t available = from < delivered_ ? delivered_ - from : 0;
    const uint32_t given = available < length ? available : length;
    std::memcpy(buffer, bytes_ + from, given);
    std::memset(buffer + given, 0, length - given);
    return given;
}

} // namespace imgconv
