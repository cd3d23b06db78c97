// Inputs opened with folders refused, plain files told from everything else, sizes in 64 bits.
#include "common/input_file.h"

#include <cerrno>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace common {

#ifdef _WIN32

FILE* open_input(const char* name) {
    // The runtime opens no stream on a folder.
    return std::fopen(name, "rb");
}

// The ANSI calls take the name in the same code page as fopen does.
bool is_plain_file(const char* name) {
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        return false;
    // Devices (NUL, CON) answer a look-up too: only a file on a disk counts.
    HANDLE h = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool disk = GetFileType(h) == FILE_TYPE_DISK;
    CloseHandle(h);
    return disk;
}

#else

FILE* open_input(const char* name) {
    FILE* file = std::fopen(name, "rb");
    struct stat st;
    if (file && fstat(fileno(file), &st) == 0 && S_ISDIR(st.st_mode)) {
        std::fclose(file);
        errno = EISDIR;
        return nullptr;
    }
    return file;
}

bool is_plain_file(const char* name) {
    struct stat st;
    return stat(name, &st) == 0 && S_ISREG(st.st_mode);
}

#endif

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

} // namespace common
