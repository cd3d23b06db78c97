// Runs a capture conversion: the whole file read and checked before the image is created.
#include "imgconv/capture/capture_run.h"

#include "imgconv/capture/capture_load.h"

#include "common/exit_status.h"
#include "common/output_file.h"
#include "common/report.h"

#include <memory>

namespace imgconv {

namespace {

// The longest signature: "IMD ".
constexpr size_t kSignatureBytes = 4;
// Bytes gathered for each write of the image.
constexpr size_t kImageBufferBytes = 256 * 1024;

const char* kind_name(InputKind kind) {
    return kind == InputKind::tele_disk ? "TeleDisk" : "ImageDisk";
}

// Creates the image and writes every slot; reports a failure naming the file.
int write_image(const ConvertOptions& opts, const Placement& placement,
                const common::Reporter& report) {
    FILE* const err = report.errors();
    // Declared before the file so that it outlives the file's last flush.
    std::unique_ptr<char[]> buffer(new char[kImageBufferBytes]);
    common::OutputFile image;
    if (!image.open(opts.output_path)) {
        std::fprintf(err, "Could not open output file \"%s\" for writing.\n", opts.output_path);
        return common::kExitFailure;
    }
    std::setvbuf(image.get(), buffer.get(), _IOFBF, kImageBufferBytes);
    if (const int error = write_placement(placement, image.get())) {
        report.write_error(opts.output_path, error);
        return common::kExitFailure;
    }
    // The warnings that name lost records belong to the image: without them
    // it does not replace an earlier one.
    if (!report.warnings_delivered(common::kStdoutName))
        return common::kExitFailure;
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

int convert_capture(const ConvertOptions& opts, InputKind kind, FILE* out, FILE* err) {
    if (opts.control_path) {
        std::fprintf(err,
                     "Input file \"%s\" is %s %s capture; a control file (-l) describes a raw "
                     "dump, so the capture is not converted.\n",
                     opts.input_path, kind == InputKind::tele_disk ? "a" : "an", kind_name(kind));
        return common::kExitFailure;
    }
    CaptureRequest request;
    request.path = opts.input_path;
    request.kind = kind;
    request.sectors = opts.sectors;
    request.cylinders = opts.cylinders;
    request.heads = opts.heads;
    request.verbose = opts.verbose;
    const common::Reporter report(out, err);
    LoadedCapture loaded;
    if (!load_capture(request, loaded, report))
        return common::kExitFailure;
    return write_image(opts, loaded.placement, report);
}

} // namespace imgconv
