// basiclist's run: open the files, list record after record, report damage and failures.
#include "basiclist/basiclist.h"

#include "basiclist/command_line.h"
#include "basiclist/record_scan.h"
#include "basiclist/scan_damage.h"

#include "common/exit_status.h"
#include "common/input_file.h"
#include "common/output_file.h"
#include "common/report.h"
#include "common/same_file.h"
#include "common/version.h"

#include <cerrno>
#include <cinttypes>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace basiclist {

namespace {

using common::kStdoutName;

// Why the record loop stopped.
enum class LoopEnd { end_of_input, end_mark, read_error, write_error };

struct LoopResult {
    LoopEnd end = LoopEnd::end_of_input;
    size_t last_read = 0;   // bytes the last read delivered
    int error = 0;          // errno of a failed read or write
    uint64_t records = 0;   // whole records listed
    bool line_open = false; // the last line listed still waits for its end
};

// Prints the damage lines gathered for a record, as they come.
void print_lines(std::vector<std::string>& lines, const common::Reporter& report) {
    for (const std::string& line : lines)
        report.error("%s", line.c_str());
    lines.clear();
}

// Reads, scans and lists whole records until the input ends, the end mark
// comes or a transfer fails.
LoopResult list_records(FILE* input, const char* input_name, FILE* output, ScanDamage& damage,
                        const common::Reporter& report) {
    unsigned char record[kRecordBytes];
    unsigned char text[kMaxRecordTextBytes];
    std::vector<std::string> lines; // damage lines of the record at hand
    LoopResult result;
    for (uint64_t number = 0;; ++number) {
        errno = 0;
        result.last_read = std::fread(record, 1, kRecordBytes, input);
        if (std::ferror(input)) {
            result.end = LoopEnd::read_error;
            result.error = errno;
            return result;
        }
        if (result.last_read < kRecordBytes)
            return result;
        const RecordScan scan = scan_record(record, kRecordBytes, text);
        errno = 0;
        if (std::fwrite(text, 1, scan.text_length, output) != scan.text_length ||
            std::ferror(output)) {
            result.end = LoopEnd::write_error;
            result.error = errno;
            return result;
        }
        damage.add(scan, number, number * kRecordBytes, input_name, lines);
        print_lines(lines, report);
        result.records = number + 1;
        if (scan.line_open)
            result.line_open = true;
        else if (scan.line_ended)
            result.line_open = false;
        if (scan.end == ScanEnd::end_mark) {
            result.end = LoopEnd::end_mark;
            return result;
        }
    }
}

// Flushes the listing to the caller's stream, or flushes and closes the file
// opened here; false after reporting a failure.
bool finish_output(common::OutputFile& file, FILE* out, const common::Reporter& report) {
    if (file.is_open())
        return file.finish(report);
    int error = 0;
    if (common::flush_checked(out, error))
        return true;
    report.write_error(kStdoutName, error);
    return false;
}

// Bytes at the start of an existing output that are looked at before it is
// replaced, and the bytes read at a time.
constexpr size_t kListingCheckBytes = 64 * 1024;
constexpr size_t kListingCheckChunkBytes = 4096;

// A listing never holds a zero byte; a BASIC file (or a DATA file, or most
// other originals) holds one in its first record. True when `name` is a
// plain file with a zero byte among its first 64 KiB: a file that listing
// into it would destroy, most likely named in the wrong order.
bool holds_other_than_a_listing(const char* name) {
    if (!common::is_plain_file(name))
        return false;
    FILE* file = std::fopen(name, "rb");
    if (!file)
        return false;
    char chunk[kListingCheckChunkBytes];
    bool zero = false;
    for (size_t looked = 0; looked < kListingCheckBytes && !zero;) {
        const size_t got = std::fread(chunk, 1, sizeof chunk, file);
        zero = std::memchr(chunk, 0, got) != nullptr;
        looked += got;
        if (got < sizeof chunk)
            break;
    }
    std::fclose(file);
    return zero;
}

// Bytes of each file stream's buffer.
constexpr size_t kStreamBufferBytes = 64 * 1024;

} // namespace

int run_basiclist(int argc, char* argv[], FILE* out, FILE* err) {
    if (common::asks_for_version(argc, argv)) {
        common::print_version(out, "basiclist");
        return common::kExitDone;
    }
    Settings settings;
    if (parse_command_line(argc, argv, settings) == CommandLine::usage) {
        print_usage(out, argc > 0 && argv[0] ? argv[0] : "basiclist");
        return common::kExitDone;
    }

    // Stream buffers of 64 KiB each: a quarter of the system calls that the
    // default 4 KiB buffers take. They outlive both streams, which are closed
    // before this function returns.
    char input_buffer[kStreamBufferBytes];
    char output_buffer[kStreamBufferBytes];
    // Every message goes to the errors stream: standard output may carry the listing.
    const common::Reporter report(err, err);
    FILE* input = common::open_input(settings.input_path);
    if (!input) {
        report.error("Could not open file \"%s\".\n", settings.input_path);
        return common::kExitFailure;
    }
    std::setvbuf(input, input_buffer, _IOFBF, sizeof input_buffer);
    // The listing goes to the file named, opened here, or else to `out`.
    common::OutputFile file;
    FILE* output = out;
    const char* output_name = kStdoutName;
    if (settings.output_path) {
        // Opening the input for writing would empty it before it is read.
        if (common::output_is_same_file(settings.output_path, settings.input_path, "input file",
                                        err)) {
            std::fclose(input);
            return common::kExitFailure;
        }
        if (holds_other_than_a_listing(settings.output_path)) {
            report.error("Output file \"%s\" is not a listing; it is not replaced. Check the order "
                         "of the file names, or remove the file first.\n",
                         settings.output_path);
            std::fclose(input);
            return common::kExitFailure;
        }
        if (!file.open(settings.output_path)) {
            report.error("Could not open file \"%s\" for writing.\n", settings.output_path);
            std::fclose(input);
            return common::kExitFailure;
        }
        std::setvbuf(file.get(), output_buffer, _IOFBF, sizeof output_buffer);
        output = file.get();
        output_name = file.name();
    }

    ScanDamage damage;
    const LoopResult loop = list_records(input, settings.input_path, output, damage, report);
    std::fclose(input);
    std::vector<std::string> lines;
    damage.summarize(lines);
    print_lines(lines, report);

    int status = common::kExitDone;
    switch (loop.end) {
    case LoopEnd::end_of_input:
        if (loop.last_read > 0)
            report.error("%d bytes after the last whole record were not listed\n",
                         static_cast<int>(loop.last_read));
        // The file ends where the BASIC program does not: records are missing.
        if (loop.records > 0)
            report.error("no end mark: the file may be incomplete\n");
        if (loop.line_open)
            report.error("the last line is incomplete: the file ends inside it\n");
        break;
    case LoopEnd::end_mark:
        status = kExitEndMark;
        break;
    case LoopEnd::read_error:
        report.error("Read error on binary file (%d bytes read).\n",
                     static_cast<int>(loop.last_read));
        // A failed run replaces no output file; what it listed on standard
        // output is out there already.
        if (!file.is_open())
            finish_output(file, out, report);
        return common::kExitFailure;
    case LoopEnd::write_error:
        report.write_error(output_name, loop.error);
        return common::kExitFailure;
    }
    if (!finish_output(file, out, report))
        return common::kExitFailure;
    return status;
}

} // namespace basiclist
