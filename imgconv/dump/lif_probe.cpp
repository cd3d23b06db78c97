// Settles geometry and interleave before a conversion: LIF header fields or the fixed defaults.
#include "imgconv/dump/lif_probe.h"

#include "imgconv/dump/dump_reader.h"

namespace imgconv {

namespace {

// Looks for the first directory record in the dump read as one run of
// records: with an n:1 interleave directory record `dirstart` of the first
// track lies in slot dirstart * n. Leaves interleave negative when no record
// gives one. Returns -1 when a read fails.
int scan_for_interleave(DumpPlan& plan, FILE* input, unsigned char* record_buffer,
                        uint32_t dirstart, uint32_t datastart, FILE* err) {
    for (uint32_t k = 1; k < datastart; ++k) {
        uint32_t delivered = 0;
        if (read_block(input, record_buffer, k * plan.rec_size, plan.rec_size, err, &delivered) !=
            0)
            return -1;
        if (delivered == 0) {
            // Record k lies wholly beyond the end of the dump, and so does
            // every later one until the offset reaches 2^31, where the seek
            // fails. None of them can match: go straight to that record, or
            // end the scan when the directory comes first. This keeps a
            // header with a huge directory from making millions of reads.
            if (plan.rec_size == 0)
                return 0;
            const uint32_t first_unreachable = static_cast<uint32_t>(
                (kFirstUnreachableOffset + plan.rec_size - 1) / plan.rec_size);
            if (first_unreachable >= datastart || first_unreachable <= k)
                return 0;
            k = first_unreachable - 1;
            continue;
        }
        if (get_be32(record_buffer + kLifFileStartOffset) != datastart)
            continue;
        // A header that puts the directory at record 0 (its own place) gives
        // no interleave: the scan counts as one without a match.
        if (dirstart != 0)
            plan.interleave = static_cast<int32_t>(k / dirstart);
        plan.interleave_origin = Origin::interleave_scan;
        return 0;
    }
    return 0;
}

} // namespace

int probe_media(const ConvertOptions& opts, FILE* input, unsigned char* record_buffer,
                DumpPlan& plan, FILE* out, FILE* err) {
    plan = plan_from_options(opts);
    plan.lif_volume = is_lif_header(record_buffer);
    // A value not given comes from the header, or else from the defaults.
    const Origin origin = plan.lif_volume ? Origin::lif_header : Origin::defaults;
    const auto settle = [origin](uint32_t& value, Origin& value_origin, uint32_t fallback) {
        if (value == 0) {
            value = fallback;
            value_origin = origin;
        }
    };
    if (plan.lif_volume) {
        const uint32_t dirstart = get_be32(record_buffer + kLifDirStartOffset);
        const uint32_t dirsize = get_be32(record_buffer + kLifDirSizeOffset);
        const uint32_t datastart = dirstart + dirsize;
        settle(plan.cylinders, plan.cylinders_origin, get_be32(record_buffer + kLifTracksOffset));
        settle(plan.heads, plan.heads_origin, get_be32(record_buffer + kLifSurfacesOffset));
        settle(plan.sectors, plan.sectors_origin, get_be32(record_buffer + kLifSectorsOffset));
        if (plan.interleave < 0) {
            if (scan_for_interleave(plan, input, record_buffer, dirstart, datastart, err) != 0)
                return -1;
            if (plan.interleave < 0) {
                std::fprintf(out, "Warning: could not guess interleave. setting interleave=2.\n");
                plan.interleave = kDefaultInterleave;
                plan.interleave_origin = Origin::defaults;
            }
        }
        if (opts.verbose)
            std::fprintf(out, "LIF detected: dirstart=%lu dirsize=%lu datastart=%lu\n",
                         static_cast<unsigned long>(dirstart), static_cast<unsigned long>(dirsize),
                         static_cast<unsigned long>(datastart));
    } else {
        std::fprintf(out, "Warning: no LIF file\n");
        std::fprintf(out,
                     "Unable to perform auto-detection of media parameters (using defaults)\n");
        settle(plan.cylinders, plan.cylinders_origin, kDefaultCylinders);
        settle(plan.heads, plan.heads_origin, kDefaultHeads);
        settle(plan.sectors, plan.sectors_origin, kDefaultSectors);
        if (plan.interleave < 0) {
            plan.interleave = kDefaultInterleave;
            plan.interleave_origin = Origin::defaults;
        }
    }
    if (opts.verbose)
        std::fprintf(out, "Using tracks=%lu heads=%lu sectors=%lu interleave=%d\n",
                     static_cast<unsigned long>(plan.cylinders),
                     static_cast<unsigned long>(plan.heads),
                     static_cast<unsigned long>(plan.sectors), static_cast<int>(plan.interleave));
    return 0;
}

} // namespace imgconv
