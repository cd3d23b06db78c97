// One track of the dump held in memory, so that its records cost one read, not one each.
#pragma once

#include <cstdint>
#include <cstdio>
#include <memory>

namespace imgconv {

// A window onto the dump: bytes [first, first + span) read in one go. It
// changes nothing of what the records hold, only how often the input is read.
class TrackWindow {
  public:
    // Largest span held: a full track of 256 records of 1024 bytes.
    static constexpr uint32_t kCapacityBytes = 256u * 1024u;
    // Reads into a page-aligned buffer copy several times faster than into one
    // that is off by a few bytes.
    static constexpr uint32_t kPageBytes = 4096;

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
