// Checked flush and close of the programs' outputs, and the one write-error message.
#include "common/output_file.h"

#include <cerrno>

namespace common {

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
    std::fprintf(err, "Write error on file \"%s\" #%d\n", name, error);
}

bool OutputFile::open(const std::string& name) {
    discard();
    name_ = name;
    file_ = std::fopen(name_.c_str(), "wb");
    return file_ != nullptr;
}

bool OutputFile::finish(FILE* err) {
    FILE* f = file_;
    file_ = nullptr;
    int error = 0;
    bool ok = flush_checked(f, error);
    // The close can still fail (a network or full volume commits data only
    // then); its errno counts when the flush went through.
    errno = 0;
    if (std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok)
        report_write_error(err, name(), error);
    return ok;
}

void OutputFile::discard() {
    if (file_)
        std::fclose(file_);
    file_ = nullptr;
}

} // namespace common
