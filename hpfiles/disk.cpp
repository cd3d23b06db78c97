// Loads a disk: an image read whole with its size bounded, or a capture placed by imgconv's code.
#include "hpfiles/disk.h"

#include "common/input_file.h"
#include "hpfiles/volume.h"
#include "imgconv/capture/capture_load.h"

#include <cerrno>
#include <memory>

namespace hpfiles {

namespace {

// The longest capture signature: "IMD ".
constexpr size_t kSignatureBytes = 4;
// Bytes read per step from an image whose size cannot be measured (a pipe).
constexpr size_t kReadChunkBytes = 64 * 1024;

struct InputCloser {
    void operator()(FILE* f) const { std::fclose(f); }
};
using InputHandle = std::unique_ptr<FILE, InputCloser>;

unsigned long long ull(uint64_t value) {
    return static_cast<unsigned long long>(value);
}

// Reads the rest of the stream, at most `limit` + 1 bytes; returns 0 or the
// errno of the failed read.
int read_rest(FILE* input, uint64_t limit, std::vector<unsigned char>& bytes) {
    for (;;) {
        const size_t at = bytes.size();
        bytes.resize(at + kReadChunkBytes);
        const size_t got = std::fread(bytes.data() + at, 1, kReadChunkBytes, input);
        bytes.resize(at + got);
        if (got < kReadChunkBytes)
            return std::ferror(input) ? (errno != 0 ? errno : EIO) : 0;
        if (bytes.size() > limit)
            return 0;
    }
}

bool refuse_size(const char* path, uint64_t size, const common::Reporter& report) {
    report.error("Disk image \"%s\" is %llu bytes; an image larger than %llu bytes is not read.\n",
                 path, ull(size), ull(kMaxImageFileBytes));
    return false;
}

bool load_image(const char* path, FILE* input, Disk& disk, const common::Reporter& report) {
    uint64_t size = 0;
    if (common::stream_size(input, size)) {
        if (size > kMaxImageFileBytes)
            return refuse_size(path, size, report);
        disk.image.reserve(static_cast<size_t>(size));
    }
    errno = 0;
    if (const int error = read_rest(input, kMaxImageFileBytes, disk.image)) {
        report.read_error(path, error);
        return false;
    }
    // Grown while it was read, or a stream that could not be measured.
    if (disk.image.size() > kMaxImageFileBytes)
        return refuse_size(path, disk.image.size(), report);
    return true;
}

bool load_capture_disk(const DiskRequest& request, imgconv::InputKind kind, Disk& disk,
                       const common::Reporter& report) {
    imgconv::CaptureRequest capture_request;
    capture_request.path = request.path;
    capture_request.kind = kind;
    capture_request.cylinders = request.cylinders;
    capture_request.heads = request.heads;
    capture_request.sectors = request.sectors;
    imgconv::LoadedCapture loaded;
    if (!imgconv::load_capture(capture_request, loaded, report))
        return false;
    const imgconv::Placement& placement = loaded.placement;
    disk.image = imgconv::placement_image(placement);
    disk.from_capture = true;
    std::vector<uint8_t> slot_flags(static_cast<size_t>(placement.slot_count()), kRecordNotFound);
    for (const auto& [index, slot] : placement.slots) {
        if (index >= slot_flags.size())
            continue;
        slot_flags[index] = static_cast<uint8_t>((slot.data_error ? kRecordDataError : 0) |
                                                 (slot.copies_differ ? kRecordCopiesDiffer : 0));
    }
    disk.record_flags =
        record_flags_from_slots(slot_flags, placement.record_bytes, disk.image.size());
    return true;
}

} // namespace

std::vector<uint8_t> record_flags_from_slots(const std::vector<uint8_t>& slot_flags,
                                             uint32_t slot_bytes, uint64_t image_bytes) {
    const uint64_t records = (image_bytes + kRecordBytes - 1) / kRecordBytes;
    std::vector<uint8_t> flags(static_cast<size_t>(records), 0);
    if (slot_bytes == 0)
        return flags;
    for (size_t slot = 0; slot < slot_flags.size(); ++slot) {
        if (slot_flags[slot] == 0)
            continue;
        const uint64_t first = uint64_t{slot} * slot_bytes / kRecordBytes;
        const uint64_t last = (uint64_t{slot} * slot_bytes + slot_bytes - 1) / kRecordBytes;
        for (uint64_t r = first; r <= last && r < records; ++r)
            flags[static_cast<size_t>(r)] |= slot_flags[slot];
    }
    return flags;
}

bool load_disk(const DiskRequest& request, Disk& disk, const common::Reporter& report) {
    disk = Disk();
    InputHandle input(common::open_input(request.path));
    if (!input) {
        report.error("Could not open input file \"%s\".\n", request.path);
        return false;
    }
    unsigned char start[kSignatureBytes] = {};
    errno = 0;
    const size_t got = std::fread(start, 1, kSignatureBytes, input.get());
    if (std::ferror(input.get())) {
        report.read_error(request.path, errno != 0 ? errno : EIO);
        return false;
    }
    const imgconv::InputKind kind = imgconv::detect_input_kind(start, got);
    if (kind != imgconv::InputKind::raw_dump) {
        input.reset();
        return load_capture_disk(request, kind, disk, report);
    }
    if (request.geometry_given)
        report.warning("disk \"%s\" is an HP-order image, not a capture; -c, -h and -s have no "
                       "effect.\n",
                       request.path);
    disk.image.assign(start, start + got);
    return load_image(request.path, input.get(), disk, report);
}

} // namespace hpfiles
