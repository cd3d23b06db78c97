// Linear conversion of a dump: preparation, then each record read from its place and written.
#include "imgconv/dump/linear.h"

#include "common/input_file.h"
#include "imgconv/dump/dump_reader.h"
#include "imgconv/dump/matchlist.h"

#include <cerrno>

namespace imgconv {

namespace {

// Reads the span of the dump that holds the records of the track starting at
// output record `first`, when they lie together; otherwise the window stays
// empty and each record is read on its own.
void load_track(const DumpPlan& plan, const InterleaveTable& table, uint32_t first, FILE* input,
                TrackWindow& window) {
    window.clear();
    const uint32_t cskew = static_cast<uint32_t>(plan.cylinder_skew);
    const uint32_t hskew = static_cast<uint32_t>(plan.head_skew);
    uint32_t lowest = UINT32_MAX, highest = 0;
    for (uint32_t r = first; r - first < plan.sectors && r < plan.total_records; ++r) {
        const uint32_t offset = record_offset(plan, table, r, cskew, hskew, true);
        lowest = offset < lowest ? offset : lowest;
        highest = offset > highest ? offset : highest;
    }
    const uint64_t span = uint64_t(highest) - lowest + plan.rec_size;
    if (span <= TrackWindow::kCapacityBytes)
        window.load(input, lowest, static_cast<uint32_t>(span));
}

// Bytes at the end of the dump past the farthest record and its track's junk
// mean a layout that does not fit the dump: a missing -j or skip, or a wrong
// geometry, which scrambles the image without any read failing.
void warn_unread_tail(uint64_t used_end, FILE* input, const common::Reporter& report) {
    uint64_t size = 0;
    if (!common::stream_size(input, size) || size <= used_end)
        return;
    report.warning("the last %llu bytes of the input were not read; check -j, -cskip, -hskip "
                   "and the geometry.\n",
                   static_cast<unsigned long long>(size - used_end));
}

} // namespace

bool prepare_linear(const ConvertOptions& opts, DumpPlan& plan, InterleaveTable& table, FILE* out,
                    FILE* err) {
    if (plan.sectors > kMaxSectorsPerTrack) {
        std::fprintf(err, "Sorry, max. sectors per track is %lu (sectors=%lu).\n",
                     static_cast<unsigned long>(kMaxSectorsPerTrack),
                     static_cast<unsigned long>(plan.sectors));
        return false;
    }
    plan.total_records = plan.cylinders * plan.heads * plan.sectors;
    plan.image_bytes = uint64_t{plan.total_records} * plan.rec_size;
    if (plan.skew_count == 0)
        plan.skew_count = plan.cylinders * plan.heads; // every track
    build_interleave_table(table, plan.sectors, static_cast<uint32_t>(plan.interleave));
    if (opts.match_count != 0)
        search_skews(opts, plan, table, out);
    if (plan.cylinder_skew < 0) {
        plan.cylinder_skew = 0;
        plan.cylinder_skew_origin = Origin::defaults;
    }
    if (plan.head_skew < 0) {
        plan.head_skew = 0;
        plan.head_skew_origin = Origin::defaults;
    }
    if (opts.verbose)
        std::fprintf(out, "using cylinder skew=%d head skew=%d\n",
                     static_cast<int>(plan.cylinder_skew), static_cast<int>(plan.head_skew));
    if (plan.total_records == 0)
        std::fprintf(
            out, "Warning: geometry gives no records (cylinders=%lu heads=%lu sectors=%lu).\n",
            static_cast<unsigned long>(plan.cylinders), static_cast<unsigned long>(plan.heads),
            static_cast<unsigned long>(plan.sectors));
    // A geometry field of 0 left here came from a LIF header: 0 on the
    // command line asks for detection, and a dump without LIF header gets
    // the defaults. HP-85 and other Series 80 volumes leave these fields 0.
    if (plan.cylinders == 0 || plan.heads == 0 || plan.sectors == 0)
        std::fprintf(out, "Warning: give the geometry with -c, -h and -s.\n");
    return true;
}

int copy_linear(const DumpPlan& plan, const InterleaveTable& table, FILE* input, FILE* output,
                const char* output_path, unsigned char* record_buffer,
                const common::Reporter& report) {
    const uint32_t cskew = static_cast<uint32_t>(plan.cylinder_skew);
    const uint32_t hskew = static_cast<uint32_t>(plan.head_skew);
    TrackWindow window;
    bool warned_short = false;
    uint64_t farthest_end = 0; // one past the last input byte a record covers
    for (uint32_t r = 0; r < plan.total_records; ++r) {
        if (r % plan.sectors == 0)
            load_track(plan, table, r, input, window);
        const uint32_t offset = record_offset(plan, table, r, cskew, hskew, true);
        if (uint64_t{offset} + plan.rec_size > farthest_end)
            farthest_end = uint64_t{offset} + plan.rec_size;
        uint32_t delivered = 0;
        if (window.holds(offset, plan.rec_size)) {
            delivered = window.copy(offset, plan.rec_size, record_buffer);
        } else if (read_block(input, record_buffer, offset, plan.rec_size, report.errors(),
                              &delivered) != 0) {
            return -1;
        }
        if (delivered < plan.rec_size && !warned_short) {
            report.warning("input ends before record %lu; missing bytes written as zeros.\n",
                           static_cast<unsigned long>(r));
            warned_short = true;
        }
        if (std::fwrite(record_buffer, 1, plan.rec_size, output) < plan.rec_size &&
            std::ferror(output)) {
            report.write_error(output_path, errno);
            return -1;
        }
    }
    // Records of 0 bytes read nothing, so they say nothing about the layout.
    if (plan.total_records != 0 && plan.rec_size != 0)
        warn_unread_tail(farthest_end + plan.junk, input, report);
    return 0;
}

} // namespace imgconv
