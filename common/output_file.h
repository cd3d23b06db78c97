// An output file written by one of the programs: created, filled, then flushed and closed with
// every step checked, so that a run never calls an output complete that did not reach the disk.
#pragma once

#include <cstdio>
#include <string>

namespace common {

// Writes out what `stream` still buffers and checks its error indicator, which
// also keeps the failure of an earlier unchecked write. False, with `error`
// set to the errno of the failure, when any byte did not get through.
bool flush_checked(FILE* stream, int& error);

// Prints "Write error on file "<name>" #<error>" on `err`.
void report_write_error(FILE* err, const char* name, int error);

// Owns one file opened for writing ("wb": created or truncated, bytes pass
// unchanged). A file never finished is closed unchecked when the owner goes:
// that way out is taken only after a failure that has been reported already.
class OutputFile {
  public:
    OutputFile() = default;
    ~OutputFile() { discard(); }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Opens `name` for writing; false when the system refuses it.
    bool open(const std::string& name);

    FILE* get() const { return file_; }
    const char* name() const { return name_.c_str(); }
    bool is_open() const { return file_ != nullptr; }

    // Flushes, checks the error indicator and closes. False, after "Write
    // error on file ..." on `err` with the errno of the first step that
    // failed, when the file's contents are not all on disk.
    bool finish(FILE* err);

    // Closes without a check.
    void discard();

  private:
    FILE* file_ = nullptr;
    std::string name_;
};

} // namespace common
