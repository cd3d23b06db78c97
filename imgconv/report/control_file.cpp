// Rebuilds a disk from a SECSCAN sector report: the report source walked into the track writer.
#include "imgconv/report/control_file.h"

#include "common/input_file.h"
#include "imgconv/report/report_reader.h"
#include "imgconv/report/report_source.h"
#include "imgconv/report/track_writer.h"

#include "common/report.h"

#include <cerrno>

namespace imgconv {

namespace {

constexpr uint32_t kMaxKnownSectors = kTrackSlots; // sectors per track that can be believed

} // namespace

bool check_sector_report(FILE* control, const char* control_path, FILE* err) {
    int error = 0;
    const bool found = find_track_line(control, error);
    if (error != 0) {
        std::fprintf(err, "Read error on control file \"%s\" %s\n", control_path,
                     common::error_number_text(error).c_str());
        return false;
    }
    if (!found) {
        std::fprintf(err, "Control file \"%s\" holds no TRACK line; it is not a sector report.\n",
                     control_path);
        return false;
    }
    if (std::fseek(control, 0, SEEK_SET) != 0) {
        std::fprintf(err, "Seek error %s\n", common::error_number_text(errno).c_str());
        return false;
    }
    return true;
}

int convert_from_control_file(const ControlFileJob& job) {
    // A sectors-per-track figure the store cannot hold is no figure at all.
    const uint32_t known_sectors =
        job.known_sectors >= 1 && job.known_sectors <= kMaxKnownSectors ? job.known_sectors : 0;
    TrackWriter writer(job, known_sectors);

    std::fprintf(job.out, "Using control file %s...", job.control_path);
    if (job.verbose)
        std::fputs("\n", job.out);
    if (std::fseek(job.input, 0, SEEK_SET) != 0) {
        std::fprintf(job.err, "Seek error %s\n", common::error_number_text(errno).c_str());
        return -1;
    }

    ReportSource source(job, known_sectors);
    TrackLine track;
    for (;;) {
        Next next = source.next_track(track);
        if (next == Next::error)
            return -1;
        if (next == Next::end)
            break;
        writer.start_track(track);
        TrackSector sector;
        while ((next = source.next_sector(sector)) == Next::item)
            writer.take_sector(sector);
        if (next == Next::error)
            return -1;
        if (writer.end_track(source.format()) != 0)
            return -1;
    }
    if (writer.finish() != 0)
        return -1;
    // A report cut short leaves the rest of the dump unread.
    uint64_t position = 0, size = 0;
    if (common::stream_position(job.input, position) && common::stream_size(job.input, size) &&
        size > position)
        writer.warn_unread_input(size - position);
    return 0;
}

} // namespace imgconv
