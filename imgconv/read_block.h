// Positioned read of one record from the dump, at a signed 32-bit byte offset.
#pragma once

#include <cstdint>
#include <cstdio>

namespace imgconv {

// The one-record buffer holds at most this many bytes.
constexpr uint32_t kRecordBufferBytes = 1024;

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

} // namespace imgconv
