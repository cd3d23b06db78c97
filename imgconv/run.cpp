// imgconv's run driver: command line, streams, record 0, LIF probe, then one conversion.
#include "imgconv/imgconv.h"

#include "common/input_file.h"
#include "imgconv/capture/capture_load.h"
#include "imgconv/capture/capture_run.h"
#include "imgconv/command_line.h"
#include "imgconv/dump/dump_reader.h"
#include "imgconv/dump/lif_probe.h"
#include "imgconv/dump/linear.h"
#include "imgconv/plan.h"
#include "imgconv/report/control_file.h"

#include "common/exit_status.h"
#include "common/output_file.h"
#include "common/report.h"
#include "common/same_file.h"
#include "common/version.h"

#include <filesystem>
#include <memory>
#include <system_error>

namespace imgconv {

namespace {

// Bytes of output gathered before each write to the file.
constexpr size_t kOutputBufferBytes = 256 * 1024;
// Bytes of the dump read per system call in the control-file conversion.
constexpr size_t kInputBufferBytes = 64 * 1024;
// The longest capture signature: "IMD ".
constexpr size_t kSignatureBytes = 4;
// How a failure on standard output names it.
using common::kStdoutName;

// Owns a stream the run reads until it is closed on purpose; closes it on every other way out.
class Stream {
  public:
    explicit Stream(FILE* f) : f_(f) {}
    ~Stream() {
        if (f_)
            std::fclose(f_);
    }
    Stream(const Stream&) = delete;
    Stream& operator=(const Stream&) = delete;

    FILE* get() const { return f_; }
    explicit operator bool() const { return f_ != nullptr; }

    void close() {
        std::fclose(f_);
        f_ = nullptr;
    }

  private:
    FILE* f_;
};

// Refuses an output that is the input or the control file under any name,
// before the output is opened and so truncated.
bool output_would_clobber(const ConvertOptions& opts, FILE* err) {
    return common::output_is_same_file(opts.output_path, opts.input_path, "input file", err) ||
           (opts.control_path &&
            common::output_is_same_file(opts.output_path, opts.control_path, "control file", err));
}

// An existing output that begins as a capture is an original, most likely
// named in the wrong order: it is never replaced.
bool output_is_capture(const char* output_path, const common::Reporter& report) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(output_path), ec))
        return false;
    Stream existing(std::fopen(output_path, "rb"));
    if (!existing)
        return false;
    unsigned char start[kSignatureBytes] = {};
    const size_t got = std::fread(start, 1, sizeof start, existing.get());
    const InputKind kind = detect_input_kind(start, got);
    if (kind == InputKind::raw_dump)
        return false;
    report.error("Output file \"%s\" is %s capture; it is not replaced. Check the order of the "
                 "file names, or remove the file first.\n",
                 output_path, kind == InputKind::tele_disk ? "a TeleDisk" : "an ImageDisk");
    return true;
}

// Closes input, then output, then the control file; reports a failing output close.
int close_streams(Stream& input, common::OutputFile& output, Stream& control, FILE* err) {
    input.close();
    if (!output.finish(err))
        return common::kExitFailure;
    if (control)
        control.close();
    return common::kExitDone;
}

// The conversion of a dump, linear or by a control file: everything that can
// fail is done before the output is created.
int convert_dump(const ConvertOptions& opts, Stream& input, const common::Reporter& report) {
    FILE* const out = report.warnings();
    FILE* const err = report.errors();
    Stream control(opts.control_path ? common::open_input(opts.control_path) : nullptr);
    if (opts.control_path) {
        if (!control) {
            std::fprintf(err, "Could not open control file \"%s\".\n", opts.control_path);
            return common::kExitFailure;
        }
        if (!check_sector_report(control.get(), opts.control_path, err))
            return common::kExitFailure;
    }

    // Zeroed at the start: header bytes that record 0 does not reach read as 0.
    unsigned char record_buffer[kRecordBufferBytes] = {};
    if (read_block(input.get(), record_buffer, 0, opts.rec_size, err) != 0)
        return common::kExitFailure;
    DumpPlan plan;
    if (probe_media(opts, input.get(), record_buffer, plan, out, err) != 0)
        return common::kExitFailure;
    InterleaveTable table;
    if (!opts.control_path) {
        if (!prepare_linear(opts, plan, table, out, err))
            return common::kExitFailure;
        uint64_t input_bytes = 0;
        if (!common::stream_size(input.get(), input_bytes))
            input_bytes = 0;
        if (!image_size_allowed(plan.image_bytes, input_bytes, geometry_all_given(opts),
                                plan.cylinders, plan.heads, plan.sectors,
                                geometry_origin_text(plan), report))
            return common::kExitFailure;
    }

    // Declared before the stream so that it outlives the stream's last flush;
    // page-aligned, as the system copies from such a buffer fastest.
    std::unique_ptr<char[]> output_storage(new char[kOutputBufferBytes + kPageBytes]);
    void* output_buffer = output_storage.get();
    size_t room = kOutputBufferBytes + kPageBytes;
    std::align(kPageBytes, kOutputBufferBytes, output_buffer, room);
    common::OutputFile output;
    if (!output.open(opts.output_path)) {
        std::fprintf(err, "Could not open output file \"%s\" for writing.\n", opts.output_path);
        return common::kExitFailure;
    }
    // Records leave in large writes rather than one small write per few records.
    std::setvbuf(output.get(), static_cast<char*>(output_buffer), _IOFBF, kOutputBufferBytes);

    if (opts.control_path) {
        ControlFileJob job;
        job.input = input.get();
        job.output = output.get();
        job.control = control.get();
        job.control_path = opts.control_path;
        job.output_path = opts.output_path;
        job.verbose = opts.verbose;
        // The sector report trusts only sectors per track that were given or
        // that a LIF header states, not the defaults the probe falls back on.
        job.known_sectors = opts.sectors != 0 ? opts.sectors : (plan.lif_volume ? plan.sectors : 0);
        job.record_buffer = record_buffer;
        job.out = out;
        job.err = err;
        if (convert_from_control_file(job) != 0)
            return common::kExitFailure;
    } else if (copy_linear(plan, table, input.get(), output.get(), opts.output_path, record_buffer,
                           report) != 0) {
        return common::kExitFailure;
    }
    // The warnings that name lost records belong to the image: without them
    // it does not replace an earlier one.
    if (!report.warnings_delivered(kStdoutName))
        return common::kExitFailure;
    if (close_streams(input, output, control, err) != common::kExitDone)
        return common::kExitFailure;
    // Only now is the rebuilt image wholly on disk: a close that fails shows
    // its write error instead.
    if (opts.control_path)
        std::fputs("done.\n", out);
    return common::kExitDone;
}

// One conversion after the command line was read; its exit status.
int convert(const ConvertOptions& opts, const common::Reporter& report) {
    FILE* const err = report.errors();
    if (output_is_capture(opts.output_path, report))
        return common::kExitFailure;
    // A sector report names at most 256 records per track, like a capture.
    if (opts.control_path &&
        geometry_option_too_big(opts.cylinders, opts.heads, opts.sectors, report))
        return common::kExitFailure;

    // Declared before the stream so that it outlives the stream.
    char input_buffer[kInputBufferBytes];
    Stream input(common::open_input(opts.input_path));
    if (!input) {
        std::fprintf(err, "Could not open input file \"%s\".\n", opts.input_path);
        return common::kExitFailure;
    }
    // The linear conversion fetches records one by one from scattered offsets:
    // the stream's own buffer would refill a whole block for every record it
    // cannot reuse. The control-file conversion reads the dump strictly in
    // order, where a buffer saves one system call per sector.
    if (opts.control_path)
        std::setvbuf(input.get(), input_buffer, _IOFBF, sizeof input_buffer);
    else
        std::setvbuf(input.get(), nullptr, _IONBF, 0);
    if (output_would_clobber(opts, err))
        return common::kExitFailure;
    // A capture carries every sector's ID: it is placed by them, not by the
    // dump's geometry, and it is read whole before the output is created.
    const InputKind kind = peek_input_kind(input.get());
    if (kind != InputKind::raw_dump) {
        input.close();
        return convert_capture(opts, kind, report.warnings(), err);
    }
    return convert_dump(opts, input, report);
}

} // namespace

int run_imgconv(int argc, char* argv[], FILE* out, FILE* err) {
    if (common::asks_for_version(argc, argv)) {
        common::print_version(out, "imgconv");
        return common::kExitDone;
    }
    ConvertOptions opts;
    switch (parse_command_line(argc, argv, opts)) {
    case CommandLine::run:
        break;
    case CommandLine::usage:
        print_usage(out, argc > 0 ? argv[0] : "imgconv");
        return common::kExitDone;
    case CommandLine::rec_size_too_big:
        std::fprintf(err, "Sorry, max. rec_size is %lu bytes.\n",
                     static_cast<unsigned long>(kMaxRecSize));
        return common::kExitDone;
    case CommandLine::matchlist_too_long:
        std::fprintf(err, "Sorry, max. matchlist length is %d pairs.\n", kMaxMatchEntries);
        return common::kExitFailure;
    }
    const common::Reporter report(out, err);
    const int status = convert(opts, report);
    // Warnings that name lost records are part of the result: a standard
    // output that lost them fails the run. A failed run has said so already.
    if (status == common::kExitDone && !report.warnings_delivered(kStdoutName))
        return common::kExitFailure;
    return status;
}

} // namespace imgconv
