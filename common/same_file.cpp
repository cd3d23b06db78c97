// File identity by the system's own numbers: device and inode on POSIX, volume and file index on
// Windows.
#include "common/same_file.h"

#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/stat.h>
#endif

namespace common {

#ifdef _WIN32

namespace {

// Opens the name without asking for any access, only to read its identity.
// The ANSI call takes the name in the same code page as fopen does.
bool file_identity(const char* name, BY_HANDLE_FILE_INFORMATION& info) {
    HANDLE h = CreateFileA(name, 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                           OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return false;
    const bool ok = GetFileInformationByHandle(h, &info) != 0;
    CloseHandle(h);
    return ok;
}

} // namespace

bool same_file(const char* a, const char* b) {
    BY_HANDLE_FILE_INFORMATION ia, ib;
    return file_identity(a, ia) && file_identity(b, ib) &&
           ia.dwVolumeSerialNumber == ib.dwVolumeSerialNumber &&
           ia.nFileIndexHigh == ib.nFileIndexHigh && ia.nFileIndexLow == ib.nFileIndexLow;
}

#else

bool same_file(const char* a, const char* b) {
    struct stat sa, sb;
    return stat(a, &sa) == 0 && stat(b, &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

#endif

namespace {

// Links followed before a name is taken as it stands: more than the system
// follows itself, so a loop ends here too.
constexpr int kMaxLinkHops = 64;

// The path `name` leads to once its links are followed, even where the last
// one leads to nothing yet; empty when it cannot be worked out.
std::filesystem::path followed(const char* name) {
    namespace fs = std::filesystem;
    std::error_code ec;
    fs::path p = name;
    for (int hop = 0; hop < kMaxLinkHops && fs::is_symlink(fs::symlink_status(p, ec)); ++hop) {
        const fs::path target = fs::read_symlink(p, ec);
        if (ec)
            return {};
        p = target.is_absolute() ? target : p.parent_path() / target;
    }
    const fs::path whole = fs::weakly_canonical(p, ec);
    return ec ? fs::path() : whole;
}

} // namespace

bool same_place(const char* a, const char* b) {
    if (same_file(a, b))
        return true;
    if (!*a || !*b)
        return false;
    const std::filesystem::path pa = followed(a);
    return !pa.empty() && pa == followed(b);
}

bool output_is_same_file(const char* output, const char* other, const char* role, FILE* err) {
    if (!same_place(output, other))
        return false;
    std::fprintf(err, "Output file \"%s\" is the %s \"%s\"; it is not overwritten.\n", output, role,
                 other);
    return true;
}

} // namespace common
