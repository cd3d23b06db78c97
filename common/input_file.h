// Opening an input file, telling a plain file from a folder, a device or a FIFO, and measuring
// an input with 64-bit positions on every platform.
#pragma once

#include <cstdint>
#include <cstdio>

namespace common {

// Opens `name` for binary reading ("rb"). A folder is refused as a file that
// cannot be opened (errno EISDIR), as Windows refuses it by itself, so that
// every program gives its open message for it before any output exists.
FILE* open_input(const char* name);

// True when `name`, through any links, leads to a regular file on a disk:
// not a folder, a device, a FIFO or a name that leads nowhere.
bool is_plain_file(const char* name);

// The size in bytes of the open stream `stream`, measured by seeking to its
// end with a 64-bit position and back to where it was. False when the stream
// cannot seek (a pipe, a terminal).
bool stream_size(FILE* stream, uint64_t& size);

// Where the open stream `stream` stands, in bytes from its start, as a 64-bit
// position. False when the stream cannot tell.
bool stream_position(FILE* stream, uint64_t& position);

} // namespace common
