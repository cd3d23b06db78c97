// Opening an input file, and telling a plain file from a folder, a device or a FIFO.
#pragma once

#include <cstdio>

namespace common {

// Opens `name` for binary reading ("rb"). A folder is refused as a file that
// cannot be opened (errno EISDIR), as Windows refuses it by itself, so that
// every program gives its open message for it before any output exists.
FILE* open_input(const char* name);

// True when `name`, through any links, leads to a regular file on a disk:
// not a folder, a device, a FIFO or a name that leads nowhere.
bool is_plain_file(const char* name);

} // namespace common
