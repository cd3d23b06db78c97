// Outputs written beside their place and moved over it on success, with every step checked.
#include "common/output_file.h"

#include "common/input_file.h"

#include <cerrno>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace common {

namespace {

// Names tried for the file beside the output: "<output>.tmp", then
// "<output>.tmp1" and on, past files that are already there.
constexpr int kBesideNameTries = 100;

// What the output's name leads to now.
enum class Place {
    missing, // nothing yet: written beside, then moved there
    plain,   // a regular file: written beside, then moved over it
    other,   // a link, a device, a FIFO, a folder: written in place
};

#ifdef _WIN32

// The ANSI calls take the names in the same code page as fopen does.
Place place_of(const char* name, unsigned& mode) {
    mode = 0;
    // An empty name is no place at all: its open fails as it always did.
    if (!*name)
        return Place::other;
    const DWORD attributes = GetFileAttributesA(name);
    if (attributes == INVALID_FILE_ATTRIBUTES) {
        const DWORD error = GetLastError();
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? Place::missing
                                                                              : Place::other;
    }
    if (attributes & FILE_ATTRIBUTE_REPARSE_POINT)
        return Place::other;
    return is_plain_file(name) ? Place::plain : Place::other;
}

FILE* create_new(const std::string& name) {
    const int fd =
        _open(name.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_BINARY, _S_IREAD | _S_IWRITE);
    if (fd < 0)
        return nullptr;
    FILE* file = _fdopen(fd, "wb");
    if (!file)
        _close(fd);
    return file;
}

// A Windows file's only permission is its read-only attribute, and a
// read-only output is refused before anything is written.
bool keep_mode(FILE*, unsigned) {
    return true;
}

// MoveFileEx replaces an existing file, which rename does not do there.
bool move_over(const std::string& from, const std::string& to) {
    if (MoveFileExA(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING) != 0)
        return true;
    errno = GetLastError() == ERROR_ACCESS_DENIED ? EACCES : EIO;
    return false;
}

#else

Place place_of(const char* name, unsigned& mode) {
    struct stat st;
    // An empty name is no place at all: its open fails as it always did.
    if (!*name)
        return Place::other;
    if (lstat(name, &st) != 0)
        return errno == ENOENT ? Place::missing : Place::other;
    mode = static_cast<unsigned>(st.st_mode) & 0777u;
    return S_ISREG(st.st_mode) ? Place::plain : Place::other;
}

// Created only when the name is free (never through a link), with the
// permissions every new file gets under the user's umask.
FILE* create_new(const std::string& name) {
    constexpr mode_t kNewFileMode = 0666;
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL, kNewFileMode);
    if (fd < 0)
        return nullptr;
    FILE* file = fdopen(fd, "wb");
    if (!file)
        ::close(fd);
    return file;
}

bool keep_mode(FILE* file, unsigned mode) {
    return fchmod(fileno(file), static_cast<mode_t>(mode)) == 0;
}

bool move_over(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

#endif

// Creates the file beside `name` under the first free name; errno of the
// last try when none could be created.
FILE* create_beside(const std::string& name, std::string& beside) {
    for (int i = 0; i < kBesideNameTries; ++i) {
        beside = name + ".tmp" + (i > 0 ? std::to_string(i) : std::string());
        errno = 0;
        if (FILE* file = create_new(beside))
            return file;
        if (errno != EEXIST)
            break;
    }
    beside.clear();
    return nullptr;
}

} // namespace

bool flush_checked(FILE* stream, int& error) {
    // Cleared first: a failure that sets no errno of its own reports #0, not
    // some earlier call's leftover.
    errno = 0;
    if (std::fflush(stream) == 0 && !std::ferror(stream))
        return true;
    error = errno;
    return false;
}

void report_write_error(FILE* err, const char* name, int error) {
    Reporter(err, err).write_error(name, error);
}

bool OutputFile::open(const std::string& name) {
    discard();
    name_ = name;
    unsigned mode = 0;
    const Place place = place_of(name_.c_str(), mode);
    if (place == Place::other) {
        file_ = std::fopen(name_.c_str(), "wb");
        return file_ != nullptr;
    }
    if (place == Place::plain) {
        // A file the user may not write stays refused, as when it was
        // written in place; opened without truncating, it keeps its bytes.
        FILE* probe = std::fopen(name_.c_str(), "r+b");
        if (!probe)
            return false;
        std::fclose(probe);
    }
    file_ = create_beside(name_, beside_);
    // A folder that takes no new file (while the output in it may be
    // written), or a name with no room for the suffix: written in place,
    // as before, rather than not at all.
    if (!file_ &&
        ((place == Place::plain && (errno == EACCES || errno == EPERM)) || errno == ENAMETOOLONG)) {
        file_ = std::fopen(name_.c_str(), "wb");
        return file_ != nullptr;
    }
    if (file_ && place == Place::plain && !keep_mode(file_, mode)) {
        const int error = errno;
        discard();
        errno = error;
    }
    return file_ != nullptr;
}

bool OutputFile::complete(int& error) {
    FILE* f = file_;
    file_ = nullptr;
    if (!f) {
        error = EBADF;
        discard();
        return false;
    }
    bool ok = flush_checked(f, error);
    // The close can still fail (a network or full volume commits data only
    // then); its errno counts when the flush went through.
    errno = 0;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok)
        discard();
    return ok;
}

bool OutputFile::replace_output(int& error) {
    if (beside_.empty())
        return true;
    errno = 0;
    if (!move_over(beside_, name_)) {
        error = errno;
        discard();
        return false;
    }
    beside_.clear();
    return true;
}

bool OutputFile::finish(FILE* err) {
    int error = 0;
    if (complete(error) && replace_output(error))
        return true;
    report_write_error(err, name(), error);
    return false;
}

bool OutputFile::finish(const Reporter& report) {
    return complete(report) && replace_output(report);
}

bool OutputFile::complete(const Reporter& report) {
    int error = 0;
    if (complete(error))
        return true;
    report.write_error(name(), error);
    return false;
}

bool OutputFile::replace_output(const Reporter& report) {
    int error = 0;
    if (replace_output(error))
        return true;
    report.write_error(name(), error);
    return false;
}

void OutputFile::discard() {
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
    if (!beside_.empty())
        std::remove(beside_.c_str());
    beside_.clear();
}

} // namespace common
