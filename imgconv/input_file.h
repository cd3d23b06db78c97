// Opening an input for reading and measuring it with 64-bit positions on every platform.
#pragma once

#include <cstdint>
#include <cstdio>

namespace imgconv {

// Opens `path` for binary reading; null when the system refuses it or when
// `path` names a directory (which some systems open but never read).
FILE* open_input_file(const char* path);

// The size in bytes of the open stream `stream`, measured by seeking to its
// end with a 64-bit position and back to where it was. False when the stream
// cannot seek (a pipe, a terminal).
bool stream_size(FILE* stream, uint64_t& size);

// Where the open stream `stream` stands, in bytes from its start, as a 64-bit
// position. False when the stream cannot tell.
bool stream_position(FILE* stream, uint64_t& position);

} // namespace imgconv
