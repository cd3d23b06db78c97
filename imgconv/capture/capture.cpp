// Tells a capture from a raw dump by its first bytes.
#include "imgconv/capture/capture.h"

#include <cstring>

namespace imgconv {

InputKind detect_input_kind(const unsigned char* start, size_t length) {
    if (length >= 4 && std::memcmp(start, "IMD ", 4) == 0)
        return InputKind::image_disk;
    if (length >= 2 &&
        ((start[0] == 'T' && start[1] == 'D') || (start[0] == 't' && start[1] == 'd')))
        return InputKind::tele_disk;
    return InputKind::raw_dump;
}

} // namespace imgconv
