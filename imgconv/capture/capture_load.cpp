// Loads a capture: the file measured, read whole and decoded, its sectors placed, every line
// printed.
#include "imgconv/capture/capture_load.h"

#include "common/input_file.h"
#include "imgconv/capture/image_disk.h"
#include "imgconv/capture/tele_disk.h"

#include <cerrno>
#include <cinttypes>
#include <cstring>
#include <memory>

namespace imgconv {

namespace {

// The longest signature: "IMD ".
constexpr size_t kSignatureBytes = 4;

const char* kind_name(InputKind kind) {
    return kind == InputKind::tele_disk ? "TeleDisk" : "ImageDisk";
}

unsigned long long ull(uint64_t value) {
    return static_cast<unsigned long long>(value);
}

// Owns the capture's stream for the length of the load.
struct InputCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using InputHandle = std::unique_ptr<FILE, InputCloser>;

// Reads `size` bytes, the whole file as measured; returns 0 or the errno of
// the failed read. A file that ends earlier (it shrank meanwhile) gives what
// it holds.
int read_file(FILE* input, uint64_t size, std::vector<unsigned char>& file) {
    file.resize(static_cast<size_t>(size));
    const size_t got = std::fread(file.data(), 1, file.size(), input);
    if (got < file.size() && std::ferror(input))
        return errno != 0 ? errno : EIO;
    file.resize(got);
    return 0;
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

bool given(uint32_t value) {
    return value >= 1 && value <= kMaxGeometryOption;
}

} // namespace

bool geometry_option_too_big(uint32_t cylinders, uint32_t heads, uint32_t sectors,
                             const common::Reporter& report) {
    const struct {
        const char* option;
        uint32_t value;
    } values[] = {{"-c", cylinders}, {"-h", heads}, {"-s", sectors}};
    for (const auto& v : values)
        if (v.value > kMaxGeometryOption) {
            report.error("Sorry, max. value of %s is %lu (%s %lu).\n", v.option,
                         static_cast<unsigned long>(kMaxGeometryOption), v.option,
                         static_cast<unsigned long>(v.value));
            return true;
        }
    return false;
}

bool image_size_allowed(uint64_t image_bytes, uint64_t input_bytes, bool all_given,
                        uint32_t cylinders, uint32_t heads, uint32_t sectors, const char* source,
                        const common::Reporter& report) {
    if (all_given || image_bytes <= input_bytes ||
        image_bytes - input_bytes <= kMaxImageGrowthBytes)
        return true;
    report.error("The image would be %llu bytes from an input of %llu bytes (cylinders=%lu "
                 "heads=%lu sectors=%lu, from %s); give -c, -h and -s to write it.\n",
                 ull(image_bytes), ull(input_bytes), static_cast<unsigned long>(cylinders),
                 static_cast<unsigned long>(heads), static_cast<unsigned long>(sectors), source);
    return false;
}

bool load_capture(const CaptureRequest& request, LoadedCapture& result,
                  const common::Reporter& report) {
    if (geometry_option_too_big(request.cylinders, request.heads, request.sectors, report))
        return false;
    InputHandle input(common::open_input(request.path));
    if (!input) {
        report.error("Could not open input file \"%s\".\n", request.path);
        return false;
    }
    InputKind kind = request.kind;
    if (kind == InputKind::raw_dump) {
        unsigned char start[kSignatureBytes] = {};
        const size_t got = std::fread(start, 1, kSignatureBytes, input.get());
        if (std::ferror(input.get())) {
            report.read_error(request.path, errno != 0 ? errno : EIO);
            return false;
        }
        kind = detect_input_kind(start, got);
        if (kind == InputKind::raw_dump) {
            report.error("Input file \"%s\" is neither an ImageDisk nor a TeleDisk capture.\n",
                         request.path);
            return false;
        }
        std::rewind(input.get());
    }
    uint64_t size = 0;
    if (!common::stream_size(input.get(), size)) {
        report.read_error(request.path, errno != 0 ? errno : EIO);
        return false;
    }
    if (size > kMaxCaptureFileBytes) {
        report.error("%s capture \"%s\" is %llu bytes; a capture larger than %llu bytes is not "
                     "read.\n",
                     kind_name(kind), request.path, ull(size), ull(kMaxCaptureFileBytes));
        return false;
    }
    std::vector<unsigned char> file;
    if (const int error = read_file(input.get(), size, file)) {
        report.read_error(request.path, error);
        return false;
    }
    input.reset();

    Capture& capture = result.capture;
    CaptureError failure;
    const bool read = kind == InputKind::tele_disk ? read_tele_disk(file, capture, failure)
                                                   : read_image_disk(file, capture, failure);
    if (!read) {
        report.error("%s capture \"%s\", byte %" PRIu64 "%s: %s.\n", kind_name(kind), request.path,
                     failure.offset, failure.in_decoded_stream ? " of the decoded stream" : "",
                     failure.what.c_str());
        return false;
    }
    FILE* out = report.warnings();
    if (request.verbose) {
        std::fprintf(out, "%s capture, version %s, compression %s\n", kind_name(kind),
                     capture.version.c_str(), capture.compression.c_str());
        print_comment(capture.comment, out);
    }
    if (capture.dos_allocated_only)
        report.warning("the capture holds only the sectors that DOS had allocated; the others "
                       "will show as not found.\n");
    for (const std::string& warning : capture.warnings)
        std::fputs(warning.c_str(), out);

    Placement& placement = result.placement;
    placement = place_capture(capture, request.sectors, request.cylinders, request.heads);
    if (!placement.error.empty()) {
        report.error("%s capture \"%s\": %s; the disk's format is unknown.\n", kind_name(kind),
                     request.path, placement.error.c_str());
        return false;
    }
    const bool all_given =
        given(request.cylinders) && given(request.heads) && given(request.sectors);
    const bool from_header = placement.records_source == GeometrySource::lif_header ||
                             placement.cylinders_source == GeometrySource::lif_header ||
                             placement.heads_source == GeometrySource::lif_header;
    if (!image_size_allowed(placement.slot_count() * placement.record_bytes, size, all_given,
                            placement.cylinders, placement.heads, placement.records,
                            from_header ? "the LIF header" : "the sector IDs", report))
        return false;
    for (const std::string& warning : placement.warnings)
        std::fputs(warning.c_str(), out);
    if (request.verbose)
        for (const std::string& line : placement.verbose)
            std::fputs(line.c_str(), out);
    print_placement_warnings(placement, out);
    return true;
}

std::vector<unsigned char> placement_image(const Placement& placement) {
    std::vector<unsigned char> image(
        static_cast<size_t>(placement.slot_count() * placement.record_bytes), 0);
    for (const auto& slot : placement.slots)
        std::memcpy(image.data() + slot.first * placement.record_bytes,
                    slot.second.copy->data.data(), placement.record_bytes);
    return image;
}

} // namespace imgconv
