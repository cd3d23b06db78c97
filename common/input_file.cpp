// Inputs opened with folders refused, and plain files told from everything else.
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

} // namespace common
