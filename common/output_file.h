// An output file written by one of the programs: written beside the output and moved over it only
// once every byte is on disk, so that a failed run leaves an earlier output as it was.
#pragma once

#include "common/report.h"

#include <cstdio>
#include <string>

namespace common {

// Writes out what `stream` still buffers and checks its error indicator, which
// also keeps the failure of an earlier unchecked write. False, with `error`
// set to the errno of the failure, when any byte did not get through.
bool flush_checked(FILE* stream, int& error);

// Prints "Write error on file "<name>" #<error> (<meaning>)" on `err`.
void report_write_error(FILE* err, const char* name, int error);

// Owns one file opened for writing (bytes pass unchanged). Where the output
// is a regular file or does not exist yet, the bytes go to a new file beside
// it (same folder, the output's name followed by ".tmp"), which replaces the
// output only when the run finishes it; a new output gets the permissions of
// any newly created file, an existing one keeps its own. A symbolic link, a
// device, a FIFO or anything else that is not a plain file is written in
// place ("wb"), as are names that cannot be looked up. A file never finished
// is closed unchecked and, when written beside, removed when the owner goes:
// that way out is taken only after a failure that has been reported already.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens `name` for writing; false when the system refuses it, or when an
    // existing output is a file the user may not write. An existing output
    // is not touched here.
    bool open(const std::string& name);

    FILE* get() const { return file_; }
    // The output's own name, also while the bytes go beside it.
    const char* name() const { return name_.c_str(); }
    bool is_open() const { return file_ != nullptr; }

    // Flushes, checks the error indicator, closes and puts the file in the
    // output's place. False, after "Write error on file ..." on `err` with
    // the errno of the first step that failed and its meaning, when the
    // output is not all on disk; an existing output is then as it was.
    bool finish(FILE* err);
    // The same, through the program's reporter.
    bool finish(const Reporter& report);

    // The two halves of finish, for a run whose outputs are replaced together
    // once all of them are complete: flush, check and close, keeping the new
    // file beside the output; then move it over the output.
    bool complete(const Reporter& report);
    bool replace_output(const Reporter& report);

    // Closes without a check and removes the file written beside the output.
    void discard();

  private:
    bool complete(int& error);
    bool replace_output(int& error);

    FILE* file_ = nullptr;
    std::string name_;
    std::string beside_; // the file written beside the output; empty when written in place
};

} // namespace common
