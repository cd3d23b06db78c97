// imgconv's run driver: command line, streams, record 0, LIF probe, then one conversion.
#include "imgconv.h"

#include "capture_run.h"
#include "command_line.h"
#include "control_file.h"
#include "lif_probe.h"
#include "linear.h"
#include "read_block.h"
#include "same_file.h"

#include <cerrno>
#include <memory>

namespace {

// Bytes of output gathered before each write to the file.
constexpr size_t kOutputBufferBytes = 256 * 1024;
constexpr size_t kPageBytes = 4096;

// Owns an open stream until it is closed on purpose; closes it on every other way out.
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

    // Closes the stream; returns 0, or the errno of the failed close.
    int close() {
        FILE* f = f_;
        f_ = nullptr;
        return std::fclose(f) == 0 ? 0 : errno;
    }

    // Writes out what the stream still buffers, then closes it; returns 0, or
    // the errno of the first step that failed.
    int flush_and_close() {
        const int flushed = std::fflush(f_) == 0 ? 0 : errno;
        const int closed = close();
        return flushed != 0 ? flushed : closed;
    }

  private:
    FILE* f_;
};

// Refuses an output that is the input or the control file under any name,
// before the output is opened and so truncated.
bool output_would_clobber(const ConvertOptions& opts, FILE* err) {
    if (same_file(opts.output_path, opts.input_path)) {
        std::fprintf(err, "Output file \"%s\" is the input file \"%s\"; it is not overwritten.\n",
                     opts.output_path, opts.input_path);
        return true;
    }
    if (opts.control_path && same_file(opts.output_path, opts.control_path)) {
        std::fprintf(err, "Output file \"%s\" is the control file \"%s\"; it is not overwritten.\n",
                     opts.output_path, opts.control_path);
        return true;
    }
    return false;
}

// Closes input, then output, then the control file; reports a failing output close.
int close_streams(const ConvertOptions& opts, Stream& input, Stream& output, Stream& control,
                  FILE* err) {
    input.close();
    if (const int error = output.flush_and_close()) {
        std::fprintf(err, "Write error on file \"%s\" #%d\n", opts.output_path, error);
        return -1;
    }
    if (control)
        control.close();
    return 0;
}

} // namespace

int run_imgconv(int argc, char* argv[], FILE* out, FILE* err) {
    ConvertOptions opts;
    switch (parse_command_line(argc, argv, opts)) {
    case CommandLine::run:
        break;
    case CommandLine::usage:
        print_usage(out, argc > 0 ? argv[0] : "imgconv");
        return 0;
    case CommandLine::rec_size_too_big:
        std::fprintf(err, "Sorry, max. rec_size is %lu bytes.\n",
                     static_cast<unsigned long>(kMaxRecSize));
        return 0;
    case CommandLine::matchlist_too_long:
        std::fprintf(err, "Sorry, max. matchlist length is %d pairs.\n", kMaxMatchEntries);
        return -1;
    }

    Stream input(std::fopen(opts.input_path, "rb"));
    if (!input) {
        std::fprintf(err, "Could not open input file \"%s\".\n", opts.input_path);
        return -1;
    }
    // Records are fetched one by one from scattered offsets: the stream's own
    // buffer would refill a whole block for every record it cannot reuse.
    std::setvbuf(input.get(), nullptr, _IONBF, 0);
    if (output_would_clobber(opts, err))
        return -1;
    // A capture carries every sector's ID: it is placed by them, not by the
    // dump's geometry, and it is read whole before the output is created.
    const InputKind kind = peek_input_kind(input.get());
    if (kind != InputKind::raw_dump)
        return convert_capture(opts, kind, input.get(), out, err);
    // Declared before the stream so that it outlives the stream's last flush;
    // page-aligned, as the system copies from such a buffer fastest.
    std::unique_ptr<char[]> output_storage(new char[kOutputBufferBytes + kPageBytes]);
    void* output_buffer = output_storage.get();
    size_t room = kOutputBufferBytes + kPageBytes;
    std::align(kPageBytes, kOutputBufferBytes, output_buffer, room);
    Stream output(std::fopen(opts.output_path, "wb"));
    if (!output) {
        std::fprintf(err, "Could not open output file \"%s\" for writing.\n", opts.output_path);
        return -1;
    }
    // Records leave in large writes rather than one small write per few records.
    std::setvbuf(output.get(), static_cast<char*>(output_buffer), _IOFBF, kOutputBufferBytes);
    Stream control(opts.control_path ? std::fopen(opts.control_path, "rb") : nullptr);
    if (opts.control_path && !control) {
        std::fprintf(err, "Could not open control file \"%s\".\n", opts.control_path);
        return -1;
    }

    // Zeroed at the start: header bytes that record 0 does not reach read as 0.
    unsigned char record_buffer[kRecordBufferBytes] = {};
    if (read_block(input.get(), record_buffer, 0, opts.rec_size, err) != 0)
        return -1;
    if (probe_media(opts, input.get(), record_buffer, out, err) != 0)
        return -1;

    if (opts.control_path) {
        if (convert_from_control_file(input.get(), output.get(), control.get(), opts.control_path,
                                      opts.output_path, opts.verbose, record_buffer, out, err) != 0)
            return -1;
    } else if (convert_linear(opts, input.get(), output.get(), record_buffer, out, err) != 0) {
        return -1;
    }
    return close_streams(opts, input, output, control, err);
}
