// hpfiles' run driver: command line, the disk, its directory, then list, get or text.
#include "hpfiles/run.h"

#include "hpfiles/command_line.h"
#include "hpfiles/disk.h"
#include "hpfiles/extract.h"
#include "hpfiles/listing.h"
#include "hpfiles/read_volume.h"
#include "hpfiles/text/text.h"
#include "hpfiles/volume.h"

#include "common/exit_status.h"
#include "common/output_file.h"
#include "common/report.h"
#include "common/same_file.h"
#include "common/version.h"

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace hpfiles {

namespace {

using common::kStdoutName;

// HP 9845 type code of a DATA file (bits 12-7 of the type word).
constexpr unsigned kHp9845DataCode = 8;
constexpr unsigned kHp9845TypeShift = 7;
constexpr unsigned kHp9845TypeMask = 0x3F;
// LIF types with a text form.
constexpr uint16_t kLifText = 0x0001;
constexpr uint16_t kHp85DataFirst = 0xE010;
constexpr uint16_t kHp85DataLast = 0xE013;
// An existing text output is replaced only when its first bytes hold no zero
// byte, as every text does: anything else may be a user's original.
constexpr size_t kTextCheckBytes = 64 * 1024;

// The text brings its own CR LF line ends: a Windows console stream, which
// turns every LF into CR LF, would make each CR CR LF. Elsewhere streams pass
// bytes unchanged already.
void write_bytes_unchanged(FILE* out) {
#ifdef _WIN32
    std::fflush(out);
    _setmode(_fileno(out), _O_BINARY);
#else
    (void)out;
#endif
}

// Flushes the caller's stream; false after reporting a failure.
bool finish_stdout(FILE* out, const common::Reporter& report) {
    int error = 0;
    if (common::flush_checked(out, error))
        return true;
    report.write_error(kStdoutName, error);
    return false;
}

// The entry a typed name (with \xHH escapes) names, or false after an error naming it.
bool find_entry(const Volume& volume, const std::string& typed, bool with_purged,
                const char* disk_path, const common::Reporter& report, size_t& index) {
    std::string raw;
    if (!unescape_name(typed, raw)) {
        report.error("File name \"%s\" holds a byte outside printable ASCII; write it as \\xHH, "
                     "as list shows it.\n",
                     escape_name(typed).c_str());
        return false;
    }
    const char pad = volume.kind == FileSystem::lif ? kLifNamePad : kHp9845NamePad;
    switch (match_name(volume.entries, raw, pad, with_purged, index)) {
    case NameMatch::one:
        return true;
    case NameMatch::none:
        report.error("File \"%s\" is not on disk \"%s\".\n", escape_name(raw).c_str(), disk_path);
        return false;
    case NameMatch::several:
        break;
    }
    report.error("File name \"%s\" fits more than one entry on disk \"%s\"; nothing is written "
                 "for it.\n",
                 escape_name(raw).c_str(), disk_path);
    return false;
}

int run_list(const Settings& settings, Volume& volume, const Disk& disk, FILE* out,
             const common::Reporter& report) {
    if (disk.from_capture) {
        const std::vector<uint64_t> lost_counts = lost_before(disk);
        for (Entry& entry : volume.entries) {
            entry.records_lost = records_lost(file_extent(entry, disk.image.size()), lost_counts);
        }
    }
    if (settings.tsv)
        print_tsv(volume, out);
    else
        print_listing(volume, out);
    return finish_stdout(out, report) ? common::kExitDone : common::kExitFailure;
}

// Refuses a folder that does not exist before any file is written.
bool folder_ready(const char* folder, const common::Reporter& report) {
    if (!folder)
        return true;
    std::error_code ec;
    const std::filesystem::file_status status =
        std::filesystem::status(std::filesystem::path(folder), ec);
    if (!std::filesystem::exists(status)) {
        report.error("Output folder \"%s\" does not exist.\n", folder);
        return false;
    }
    if (!std::filesystem::is_directory(status)) {
        report.error("Output folder \"%s\" is not a folder.\n", folder);
        return false;
    }
    return true;
}

int run_get(const Settings& settings, const Volume& volume, const Disk& disk, FILE* out,
            const common::Reporter& report) {
    ExtractJob job;
    job.volume = &volume;
    job.disk = &disk;
    job.folder = settings.output_dir;
    job.disk_path = settings.disk_path;
    job.out = out;
    int status = common::kExitDone;
    if (settings.names.empty()) {
        for (size_t i = 0; i < volume.entries.size(); ++i)
            if (!volume.entries[i].purged || settings.purged)
                job.entries.push_back(i);
    } else {
        std::vector<bool> chosen(volume.entries.size(), false);
        for (const std::string& typed : settings.names) {
            size_t index = 0;
            if (!find_entry(volume, typed, settings.purged, settings.disk_path, report, index))
                status = common::kExitFailure;
            else if (!chosen[index]) {
                chosen[index] = true;
                job.entries.push_back(index);
            }
        }
    }
    if (extract_files(job, report) != common::kExitDone)
        status = common::kExitFailure;
    if (!finish_stdout(out, report))
        status = common::kExitFailure;
    return status;
}

// True when `path` exists and its first bytes hold a zero byte: not a text
// this program wrote, so not replaced.
bool holds_zero_byte(const char* path) {
    std::error_code ec;
    if (!std::filesystem::is_regular_file(std::filesystem::path(path), ec))
        return false;
    FILE* f = std::fopen(path, "rb");
    if (!f)
        return false;
    std::vector<char> start(kTextCheckBytes);
    const size_t got = std::fread(start.data(), 1, start.size(), f);
    std::fclose(f);
    return std::find(start.begin(), start.begin() + static_cast<long>(got), '\0') !=
           start.begin() + static_cast<long>(got);
}

// The text form of one entry; false when it has none or is refused, the
// messages (printed by the caller) saying why.
bool convert_text(const Volume& volume, const Entry& entry, const std::string& shown,
                  const std::vector<unsigned char>& bytes, std::string& text,
                  std::vector<std::string>& messages) {
    if (volume.kind == FileSystem::hp9845) {
        const unsigned code = (entry.type_word >> kHp9845TypeShift) & kHp9845TypeMask;
        if (code == kHp9845DataCode)
            return data9845_text(bytes, entry.record_length, shown, text, messages);
    } else if (!entry.purged && entry.type_word == kLifText) {
        return lif_text_text(bytes, shown, text, messages);
    } else if (!entry.purged && entry.type_word >= kHp85DataFirst &&
               entry.type_word <= kHp85DataLast) {
        return hp85_data_text(bytes, entry.record_length, shown, text, messages);
    }
    messages.push_back("File \"" + shown + "\" (type " + entry.type_name +
                       ") has no text form here; use get.\n");
    return false;
}

int run_text(const Settings& settings, const Volume& volume, const Disk& disk, FILE* out,
             const common::Reporter& report) {
    size_t index = 0;
    if (!find_entry(volume, settings.names[0], false, settings.disk_path, report, index))
        return common::kExitFailure;
    const Entry& entry = volume.entries[index];
    const std::string shown = escape_name(entry.name);
    const FileExtent extent = file_extent(entry, disk.image.size());
    warn_file_damage(entry, shown, extent, disk, report);
    const auto first = disk.image.begin() + static_cast<long>(extent.offset);
    const std::vector<unsigned char> bytes(
        extent.bytes > 0 ? first : disk.image.end(),
        extent.bytes > 0 ? first + static_cast<long>(extent.bytes) : disk.image.end());
    std::string text;
    std::vector<std::string> messages;
    const bool converted = convert_text(volume, entry, shown, bytes, text, messages);
    for (const std::string& line : messages)
        std::fputs(line.c_str(), report.errors());
    if (!converted)
        return common::kExitFailure;

    const char* output_path = settings.text_output;
    if (!output_path) {
        write_bytes_unchanged(out);
        errno = 0;
        if (std::fwrite(text.data(), 1, text.size(), out) != text.size()) {
            report.write_error(kStdoutName, errno);
            return common::kExitFailure;
        }
        return finish_stdout(out, report) ? common::kExitDone : common::kExitFailure;
    }
    if (common::output_is_same_file(output_path, settings.disk_path, "input file", report.errors()))
        return common::kExitFailure;
    if (holds_zero_byte(output_path)) {
        report.error("Output file \"%s\" is not a text; it is not replaced. Check the order of "
                     "the file names, or remove the file first.\n",
                     output_path);
        return common::kExitFailure;
    }
    common::OutputFile file;
    if (!file.open(output_path)) {
        report.error("Could not open output file \"%s\" for writing.\n", output_path);
        return common::kExitFailure;
    }
    errno = 0;
    if (std::fwrite(text.data(), 1, text.size(), file.get()) != text.size()) {
        report.write_error(output_path, errno);
        return common::kExitFailure;
    }
    return file.finish(report.errors()) ? common::kExitDone : common::kExitFailure;
}

} // namespace

int run_hpfiles(int argc, char* argv[], FILE* out, FILE* err) {
    if (common::asks_for_version(argc, argv)) {
        common::print_version(out, "hpfiles");
        return common::kExitDone;
    }
    Settings settings;
    if (parse_command_line(argc, argv, settings) == CommandLine::usage) {
        print_usage(out, argc > 0 && argv[0] ? argv[0] : "hpfiles");
        return common::kExitDone;
    }
    const common::Reporter report(err, err);

    DiskRequest request;
    request.path = settings.disk_path;
    request.cylinders = settings.cylinders;
    request.heads = settings.heads;
    request.sectors = settings.sectors;
    request.geometry_given = settings.geometry_given;
    Disk disk;
    if (!load_disk(request, disk, report))
        return common::kExitFailure;
    Volume volume;
    if (!read_volume(disk.image, volume)) {
        report.error("Disk \"%s\" holds neither a LIF volume nor an HP 9845 file system.\n",
                     settings.disk_path);
        return common::kExitFailure;
    }
    for (const std::string& warning : volume.warnings)
        std::fputs(warning.c_str(), err);

    switch (settings.command) {
    case Command::list:
        return run_list(settings, volume, disk, out, report);
    case Command::get:
        if (!folder_ready(settings.output_dir, report))
            return common::kExitFailure;
        return run_get(settings, volume, disk, out, report);
    case Command::text:
        break;
    }
    return run_text(settings, volume, disk, out, report);
}

} // namespace hpfiles
