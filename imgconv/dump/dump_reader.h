// Every read of the dump: positioned record reads and the track window, within a signed 32-bit
// seek offset.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

namespace imgconv {

// The one-record buffer holds at most this many bytes.
constexpr uint32_t kRecordBufferBytes = 1024;

// Highest byte position a signed 32-bit seek offset names; every position
// from 2^31 on is out of reach, on every platform alike.
constexpr uint32_t kMaxSeekOffset = 0x7FFFFFFFu;
constexpr uint64_t kFirstUnreachableOffset = uint64_t{kMaxSeekOffset} + 1;

// Buffers the system copies into or out of are page-aligned: such copies run
// several times faster than into a buffer off by a few bytes.
constexpr size_t kPageBytes = 4096;

// Seeks `stream` to `offset` bytes from its start and reads `length` bytes
// into `buffer`. Offsets are signed 32-bit positions: 2^31 or more cannot be
// reached and fails like any other seek ("Seek error #%d"). A read that ends
// short with the error indicator set fails ("Read error (%d bytes read)").
// A short read at the end of the input succeeds; the bytes it did not
// deliver are set to zero, so no record ever carries bytes of another.
// Messages go to `err`. Returns 0 or -1; `*delivered` (if given) receives the
// number of bytes the input gave.
int read_block(FILE* stream, unsigned char* buffer, uint32_t offset, uint32_t length, FILE* err,
               uint32_t* delivered = nullptr);

// One track of the dump held in memory, so that its records cost one read, not one each.
// A window onto the dump: bytes [first, first + span) read in one go. It
// changes nothing of what the records hold, only how often the input is read.
class TrackWindow {
  public:
    // Largest span held: a full track of 256 records of 1024 bytes.
    static constexpr uint32_t kCapacityBytes = 256u * kRecordBufferBytes;

    TrackWindow();

    // Reads `span` bytes from offset `first`. Returns false, holding nothing,
    // when the span does not fit, lies beyond a signed 32-bit position, or the
    // seek or the read fails; the stream's error indicator is then cleared so
    // that record-by-record reads meet the failure themselves.
    bool load(FILE* input, uint32_t first, uint32_t span);

    // Whether a record of `length` bytes at `offset` lies inside the loaded span.
    bool holds(uint32_t offset, uint32_t length) const;

    // Copies the record at `offset` into `buffer`, zero bytes where the input
    // ended before it; returns the number of bytes the input gave.
    uint32_t copy(uint32_t offset, uint32_t length, unsigned char* buffer) const;

    void clear() { span_ = 0; }

  private:
    std::unique_ptr<unsigned char[]> storage_;
    unsigned char* bytes_; // page-aligned start within storage_
    uint32_t first_ = 0;
    uint32_t span_ = 0;      // bytes asked for
    uint32_t delivered_ = 0; // bytes the input had, at most span_
};

} // namespace imgconv
