// Track-sized read-ahead for the linear conversion: one seek and one read per track of the dump.
#include "imgconv/track_window.h"

#include <cstring>
#include <memory>

namespace imgconv {

namespace {

// Highest position a signed 32-bit seek offset reaches.
constexpr uint64_t kMaxSeekOffset = 0x7FFFFFFFu;

} // namespace

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
