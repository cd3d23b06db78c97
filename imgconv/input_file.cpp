// Input streams: opened in binary mode, directories refused, sizes taken with 64-bit positions.
#include "imgconv/input_file.h"

#include <filesystem>
#include <system_error>

namespace imgconv {

namespace {

#if defined(_WIN32)
int64_t tell64(FILE* stream) {
    return _ftelli64(stream);
}
int seek64(FILE* stream, int64_t offset, int origin) {
    return _fseeki64(stream, offset, origin);
}
#else
int64_t tell64(FILE* stream) {
    return static_cast<int64_t>(ftello(stream));
}
int seek64(FILE* stream, int64_t offset, int origin) {
    return fseeko(stream, static_cast<off_t>(offset), origin);
}
#endif

} // namespace

FILE* open_input_file(const char* path) {
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::path(path), ec))
        return nullptr;
    return std::fopen(path, "rb");
}

bool stream_size(FILE* stream, uint64_t& size) {
    const int64_t here = tell64(stream);
    if (here < 0 || seek64(stream, 0, SEEK_END) != 0)
        return false;
    const int64_t end = tell64(stream);
    if (seek64(stream, here, SEEK_SET) != 0 || end < 0)
        return false;
    size = static_cast<uint64_t>(end);
    return true;
}

bool stream_position(FILE* stream, uint64_t& position) {
    const int64_t here = tell64(stream);
    if (here < 0)
        return false;
    position = static_cast<uint64_t>(here);
    return true;
}

} // namespace imgconv
