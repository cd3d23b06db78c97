// Linear conversion of a dump: preparation, then each record read from its place and written.
#include "imgconv/dump/linear.h"

#include "imgconv/dump/dump_reader.h"
#include "imgconv/dump/matchlist.h"

#include "common/output_file.h"

#include <cerrno>

namespace imgconv {

namespace {

// Reads the span of the dump that holds the records of the track starting at
// output record `first`, when they lie together; otherwise the window stays
// empty and each record is read on its own.
void load_track(const ConvertOptions& opts, const InterleaveTable& table, uint32_t first,
                uint32_t total_records, FILE* input, TrackWindow& window) {
    window.clear();
    const uint32_t cskew = static_cast<uint32_t>(opts.cylinder_skew);
    const uint32_t hskew = static_cast<uint32_t>(opts.head_skew);
    uint32_t lowest = UINT32_MAX, highest = 0;
    for (uint32_t r = first; r - first < opts.sectors && r < total_records; ++r) {
        const uint32_t offset = record_offset(opts, table, r, cskew, hskew, true);
        lowest = offset < lowest ? offset : lowest;
        highest = offset > highest ? offset : highest;
    }
    const uint64_t span = uint64_t(highest) - lowest + opts.rec_size;
    if (span <= TrackWindow::kCapacityBytes)
        window.load(input, lowest, static_cast<uint32_t>(span));
}

// The size of the input in bytes, or -1 when the stream cannot tell it.
long long input_size(FILE* input) {
    if (std::fseek(input, 0, SEEK_END) != 0)
        return -1;
    return std::ftell(input);
}

// Bytes at the end of the dump past the farthest record and its track's junk
// mean a layout that does not fit the dump: a missing -j or skip, or a wrong
// geometry, which scrambles the image without any read failing.
void warn_unread_tail(uint64_t used_end, FILE* input, FILE* out) {
    const long long size = input_size(input);
    if (size < 0 || static_cast<uint64_t>(size) <= used_end)
        return;
    std::fprintf(out,
                 "Warning: the last %lu bytes of the input were not read; check -j, -cskip, "
                 "-hskip and the geometry.\n",
                 static_cast<unsigned long>(static_cast<uint64_t>(size) - used_end));
}

} // namespace

uint32_t prepare_linear(ConvertOptions& opts, InterleaveTable& table, FILE* out) {
    const uint32_t total_records = opts.cylinders * opts.heads * opts.sectors;
    if (opts.skew_count == 0)
        opts.skew_count = opts.cylinders * opts.heads; // every track
    build_interleave_table(table, opts.sectors, static_cast<uint32_t>(opts.interleave));
    if (opts.match_count != 0)
        search_skews(opts, table, out);
    if (opts.cylinder_skew < 0)
        opts.cylinder_skew = 0;
    if (opts.head_skew < 0)
        opts.head_skew = 0;
    if (opts.verbose)
        std::fprintf(out, "using cylinder skew=%d head skew=%d\n",
                     static_cast<int>(opts.cylinder_skew), static_cast<int>(opts.head_skew));
    if (total_records == 0)
        std::fprintf(
            out, "Warning: geometry gives no records (cylinders=%lu heads=%lu sectors=%lu).\n",
            static_cast<unsigned long>(opts.cylinders), static_cast<unsigned long>(opts.heads),
            static_cast<unsigned long>(opts.sectors));
    // A geometry field of 0 left here came from a LIF header: 0 on the
    // command line asks for detection, and a dump without LIF header gets
    // the defaults. HP-85 and other Series 80 volumes leave these fields 0.
    if (opts.cylinders == 0 || opts.heads == 0 || opts.sectors == 0)
        std::fprintf(out, "Warning: give the geometry with -c, -h and -s.\n");
    return total_records;
}

int convert_linear(ConvertOptions& opts, FILE* input, FILE* output, unsigned char* record_buffer,
                   FILE* out, FILE* err) {
    if (opts.sectors > kMaxSectorsPerTrack) {
        std::fprintf(err, "Sorry, max. sectors per track is %lu (sectors=%lu).\n",
                     static_cast<unsigned long>(kMaxSectorsPerTrack),
                     static_cast<unsigned long>(opts.sectors));
        return -1;
    }
    InterleaveTable table;
    const uint32_t total_records = prepare_linear(opts, table, out);
    const uint32_t cskew = static_cast<uint32_t>(opts.cylinder_skew);
    const uint32_t hskew = static_cast<uint32_t>(opts.head_skew);
    TrackWindow window;
    bool warned_short = false;
    uint64_t farthest_end = 0; // one past the last input byte a record covers
    for (uint32_t r = 0; r < total_records; ++r) {
        if (r % opts.sectors == 0)
            load_track(opts, table, r, total_records, input, window);
        const uint32_t offset = record_offset(opts, table, r, cskew, hskew, true);
        if (uint64_t{offset} + opts.rec_size > farthest_end)
            farthest_end = uint64_t{offset} + opts.rec_size;
        uint32_t delivered = 0;
        if (window.holds(offset, opts.rec_size)) {
            delivered = window.copy(offset, opts.rec_size, record_buffer);
        } else if (read_block(input, record_buffer, offset, opts.rec_size, err, &delivered) != 0) {
            return -1;
        }
        if (delivered < opts.rec_size && !warned_short) {
            std::fprintf(out,
                         "Warning: input ends before record %lu; missing bytes written as zeros.\n",
                         static_cast<unsigned long>(r));
            warned_short = true;
        }
        if (std::fwrite(record_buffer, 1, opts.rec_size, output) < opts.rec_size &&
            std::ferror(output)) {
            common::report_write_error(err, opts.output_path, errno);
            return -1;
        }
    }
    // Records of 0 bytes read nothing, so they say nothing about the layout.
    if (total_records != 0 && opts.rec_size != 0)
        warn_unread_tail(farthest_end + opts.junk, input, out);
    return 0;
}

} // namespace imgconv
