// get's file names, file bytes, damage warnings and checked writes.
#include "hpfiles/extract.h"

#include "hpfiles/listing.h"

#include "common/exit_status.h"
#include "common/output_file.h"
#include "common/same_file.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <filesystem>

namespace hpfiles {

namespace {

constexpr char kReplacement = '_';
constexpr unsigned char kFirstPlain = 0x21;
constexpr unsigned char kLastPlain = 0x7E;
constexpr const char* kForbidden = "/\\:*?\"<>|";

// The notes that make a file's extraction worth a warning, and how the warning says it.
struct WarnedNote {
    const char* note;
    const char* says;
};
constexpr WarnedNote kWarnedNotes[] = {
    {kNoteInLabel, "starts in the label"},
    {kNoteInDirectory, "starts in the directory"},
    {kNoteOverDirectory, "overlaps the directory"},
    {kNoteInSystemArea, "starts in the system area"},
    {kNotePastDataArea, "reaches past the data area"},
};

unsigned long ul(uint64_t value) {
    return static_cast<unsigned long>(value);
}

std::string lower(std::string text) {
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

// Windows takes these names, with any extension, for devices, whatever the folder: a file
// called CON.DATA would go to the console.
bool device_name(const std::string& part) {
    static const char* const kDevices[] = {"con", "prn", "aux", "nul"};
    const std::string name = lower(part);
    for (const char* device : kDevices)
        if (name == device)
            return true;
    return name.size() == 4 && (name.compare(0, 3, "com") == 0 || name.compare(0, 3, "lpt") == 0) &&
           name[3] >= '0' && name[3] <= '9';
}

// Writes `bytes` bytes from `data` to `path` through a checked output file.
bool write_file(const std::string& path, const unsigned char* data, size_t bytes,
                const char* disk_path, const common::Reporter& report) {
    if (common::output_is_same_file(path.c_str(), disk_path, "input file", report.errors()))
        return false;
    common::OutputFile file;
    if (!file.open(path)) {
        report.error("Could not open output file \"%s\" for writing.\n", path.c_str());
        return false;
    }
    errno = 0;
    if (bytes > 0 && std::fwrite(data, 1, bytes, file.get()) != bytes) {
        report.write_error(path.c_str(), errno);
        return false;
    }
    return file.finish(report.errors());
}

} // namespace

std::string file_name_part(const std::string& text) {
    std::string part = text;
    for (char& c : part) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u < kFirstPlain || u > kLastPlain || std::strchr(kForbidden, c))
            c = kReplacement;
    }
    return part;
}

std::string OutputNames::claim(const std::string& name, const std::string& type) {
    // An all-blank name would leave only the dot and the type: a hidden file.
    std::string base = name.empty() ? std::string(1, kReplacement) : file_name_part(name);
    // A device name gets a '_' on every system, so that a disk gives the same files everywhere.
    const size_t dot = base.find('.');
    if (device_name(base.substr(0, dot)))
        base.insert(dot == std::string::npos ? base.size() : dot, 1, kReplacement);
    const std::string suffix = "." + file_name_part(type);
    std::string candidate = base + suffix;
    // Names only join the taken ones, so a number found taken stays taken.
    unsigned long& n = next_.emplace(lower(base) + "/" + lower(suffix), 2).first->second;
    while (taken_.count(lower(candidate)))
        candidate = base + "." + std::to_string(n++) + suffix;
    taken_.insert(lower(candidate));
    return candidate;
}

FileExtent file_extent(const Entry& entry, uint64_t image_bytes) {
    FileExtent extent;
    const uint64_t image_records = image_bytes / kRecordBytes;
    extent.offset = uint64_t{entry.start} * kRecordBytes;
    if (entry.start < image_records)
        extent.records = std::min<uint64_t>(entry.records, image_records - entry.start);
    extent.records_missing = entry.records - extent.records;
    extent.bytes = extent.records * kRecordBytes;
    return extent;
}

void warn_file_damage(const Entry& entry, const std::string& shown, const FileExtent& extent,
                      const Disk& disk, const common::Reporter& report) {
    for (const WarnedNote& w : kWarnedNotes)
        if (has_note(entry, w.note))
            report.warning("file \"%s\" %s; it is written as it lies on the disk.\n", shown.c_str(),
                           w.says);
    if (extent.records_missing > 0)
        report.warning("file \"%s\": %lu of its %lu records lie past the end of the disk; the "
                       "%lu that exist are written.\n",
                       shown.c_str(), ul(extent.records_missing), ul(entry.records),
                       ul(extent.records));
    const uint64_t first = extent.offset / kRecordBytes;
    for (uint64_t r = 0; r < extent.records; ++r) {
        const uint8_t flags = disk.flags(first + r);
        if (flags & kRecordNotFound)
            report.warning("file \"%s\": its record %lu (disk record %lu) was not found on the "
                           "disk; written as zeros.\n",
                           shown.c_str(), ul(r), ul(first + r));
        if (flags & kRecordDataError)
            report.warning("file \"%s\": its record %lu (disk record %lu) was read with a data "
                           "error; written as read.\n",
                           shown.c_str(), ul(r), ul(first + r));
        if (flags & kRecordCopiesDiffer)
            report.warning("file \"%s\": its record %lu (disk record %lu) was read twice with "
                           "different data; the first copy is written.\n",
                           shown.c_str(), ul(r), ul(first + r));
    }
}

std::vector<uint64_t> lost_before(const Disk& disk) {
    std::vector<uint64_t> lost(disk.record_flags.size() + 1, 0);
    for (size_t r = 0; r < disk.record_flags.size(); ++r)
        lost[r + 1] = lost[r] + ((disk.record_flags[r] & kRecordNotFound) ? 1 : 0);
    return lost;
}

uint64_t records_lost(const FileExtent& extent, const std::vector<uint64_t>& lost) {
    const uint64_t first = extent.offset / kRecordBytes;
    const uint64_t last = lost.size() - 1; // records counted
    if (extent.records == 0 || first >= last)
        return 0;
    const uint64_t end = std::min(first + extent.records, last);
    return lost[static_cast<size_t>(end)] - lost[static_cast<size_t>(first)];
}

NameMatch match_name(const std::vector<Entry>& entries, const std::string& raw, char pad,
                     bool with_purged, size_t& index) {
    // Only the file system's own padding is dropped: a LIF name may end in a
    // zero byte, a 9845 name in a blank.
    std::string name = raw;
    while (!name.empty() && name.back() == pad)
        name.pop_back();
    for (const bool purged : {false, true}) {
        if (purged && !with_purged)
            break;
        size_t found = 0;
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i].purged == purged && entries[i].name == name) {
                index = i;
                ++found;
            }
        if (found == 1)
            return NameMatch::one;
        if (found > 1)
            return NameMatch::several;
    }
    return NameMatch::none;
}

int extract_files(const ExtractJob& job, const common::Reporter& report) {
    OutputNames names;
    for (size_t index : job.entries) {
        const Entry& entry = job.volume->entries[index];
        const std::string shown = escape_name(entry.name);
        const FileExtent extent = file_extent(entry, job.disk->image.size());
        const std::string file_name = names.claim(entry.name, entry.type_name);
        const std::string path =
            job.folder ? (std::filesystem::path(job.folder) / file_name).string() : file_name;
        warn_file_damage(entry, shown, extent, *job.disk, report);
        const unsigned char* data =
            extent.bytes > 0 ? job.disk->image.data() + extent.offset : nullptr;
        if (!write_file(path, data, static_cast<size_t>(extent.bytes), job.disk_path, report))
            return common::kExitFailure;
        std::fprintf(job.out, "%-10s %-6s %8lu bytes  %s\n", shown.c_str(), entry.type_name.c_str(),
                     ul(extent.bytes), file_name.c_str());
    }
    return common::kExitDone;
}

} // namespace hpfiles
