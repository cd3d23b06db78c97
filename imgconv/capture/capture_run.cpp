// Runs a capture conversion: the whole file read and checked before the image is created.
#include "imgconv/capture/capture_run.h"

#include "imgconv/capture/placement.h"

#include "common/exit_status.h"
#include "common/output_file.h"

#include <cerrno>
#include <cinttypes>
#include <memory>
#include <vector>

namespace imgconv {

namespace {

// The longest signature: "IMD ".
constexpr size_t kSignatureBytes = 4;
// Bytes read from the capture per step, and gathered for each write of the image.
constexpr size_t kReadChunkBytes = 64 * 1024;
constexpr size_t kImageBufferBytes = 256 * 1024;

const char* kind_name(InputKind kind) {
    return kind == InputKind::tele_disk ? "TeleDisk" : "ImageDisk";
}

// Reads the rest of the stream; returns 0 or the errno of the failed read.
int read_all(FILE* input, std::vector<unsigned char>& file) {
    std::unique_ptr<unsigned char[]> chunk(new unsigned char[kReadChunkBytes]);
    for (;;) {
        const size_t got = std::fread(chunk.get(), 1, kReadChunkBytes, input);
        file.insert(file.end(), chunk.get(), chunk.get() + got);
        if (got < kReadChunkBytes) {
            if (std::ferror(input))
                return errno != 0 ? errno : EIO;
            return 0;
        }
    }
}

// The comment as "Comment: " lines; control characters show as '.', so that
// no comment can drive the terminal.
void print_comment(const std::string& comment, FILE* out) {
    std::string text;
    for (char ch : comment) {
        if (ch == '\n') {
            std::fprintf(out, "Comment: %s\n", text.c_str());
            text.clear();
        } else {
            const unsigned char u = static_cast<unsigned char>(ch);
            text += (u < 0x20 || u == 0x7F) ? '.' : ch;
        }
    }
    if (!text.empty())
        std::fprintf(out, "Comment: %s\n", text.c_str());
}

// Creates the image and writes every slot; reports a failure naming the file.
int write_image(const ConvertOptions& opts, const Placement& placement, FILE* err) {
    // Declared before the file so that it outlives the file's last flush.
    std::unique_ptr<char[]> buffer(new char[kImageBufferBytes]);
    common::OutputFile image;
    if (!image.open(opts.output_path)) {
        std::fprintf(err, "Could not open output file \"%s\" for writing.\n", opts.output_path);
        return common::kExitFailure;
    }
    std::setvbuf(image.get(), buffer.get(), _IOFBF, kImageBufferBytes);
    if (const int error = write_placement(placement, image.get())) {
        common::report_write_error(err, opts.output_path, error);
        return common::kExitFailure;
    }
    return image.finish(err) ? common::kExitDone : common::kExitFailure;
}

} // namespace

InputKind peek_input_kind(FILE* input) {
    unsigned char start[kSignatureBytes] = {};
    const size_t got = std::fread(start, 1, kSignatureBytes, input);
    const bool failed = std::ferror(input) != 0;
    std::clearerr(input);
    if (std::fseek(input, 0, SEEK_SET) != 0 || failed)
        return InputKind::raw_dump;
    return detect_input_kind(start, got);
}

int convert_capture(const ConvertOptions& opts, InputKind kind, FILE* input, FILE* out, FILE* err) {
    if (opts.control_path) {
        std::fprintf(err,
                     "Input file \"%s\" is %s %s capture; a control file (-l) describes a raw "
                     "dump, so the capture is not converted.\n",
                     opts.input_path, kind == InputKind::tele_disk ? "a" : "an", kind_name(kind));
        return common::kExitFailure;
    }
    std::vector<unsigned char> file;
    if (const int error = read_all(input, file)) {
        std::fprintf(err, "Read error on file \"%s\" #%d\n", opts.input_path, error);
        return common::kExitFailure;
    }
    Capture capture;
    CaptureError failure;
    const bool read = kind == InputKind::tele_disk ? read_tele_disk(file, capture, failure)
                                                   : read_image_disk(file, capture, failure);
    if (!read) {
        std::fprintf(err, "%s capture \"%s\", byte %" PRIu64 "%s: %s.\n", kind_name(kind),
                     opts.input_path, failure.offset,
                     failure.in_decoded_stream ? " of the decoded stream" : "",
                     failure.what.c_str());
        return common::kExitFailure;
    }
    if (opts.verbose) {
        std::fprintf(out, "%s capture, version %s, compression %s\n", kind_name(kind),
                     capture.version.c_str(), capture.compression.c_str());
        print_comment(capture.comment, out);
    }
    if (capture.dos_allocated_only)
        std::fprintf(out, "Warning: the capture holds only the sectors that DOS had allocated; "
                          "the others will show as not found.\n");
    for (const std::string& warning : capture.warnings)
        std::fputs(warning.c_str(), out);

    const Placement placement = place_capture(capture, opts.sectors, opts.cylinders, opts.heads);
    if (!placement.error.empty()) {
        std::fprintf(err, "%s capture \"%s\": %s; the disk's format is unknown.\n", kind_name(kind),
                     opts.input_path, placement.error.c_str());
        return common::kExitFailure;
    }
    for (const std::string& warning : placement.warnings)
        std::fputs(warning.c_str(), out);
    if (opts.verbose)
        for (const std::string& line : placement.verbose)
            std::fputs(line.c_str(), out);
    print_placement_warnings(placement, out);
    return write_image(opts, placement, err);
}

} // namespace imgconv
