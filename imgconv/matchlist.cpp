// Matchlist skew search over candidate cylinder and head skews.
#include "imgconv/matchlist.h"

namespace imgconv {

void search_skews(ConvertOptions& opts, const InterleaveTable& table, FILE* out) {
    // An empty list has nothing to agree with: without this every pair would.
    if (opts.match_count == 0)
        return;
    // The list holds at most kMaxMatchEntries pairs; a longer count names
    // pairs that were never stored, so no candidate can be shown to agree.
    if (opts.match_count > kMaxMatchEntries)
        return;
    // With no record per cylinder (heads or sectors 0, or a product that wraps
    // to 0) no record has a position, so no pair can agree.
    if (opts.sectors * opts.heads == 0)
        return;
    for (uint32_t i = 0; i < opts.sectors; ++i) {
        for (uint32_t j = 0; j < opts.sectors; ++j) {
            int32_t k = 0;
            for (; k < opts.match_count; ++k) {
                const MatchEntry& m = opts.match_entries[k];
                if (record_offset(opts, table, m.which, i, j, false) != m.where)
                    break;
            }
            if (k < opts.match_count || opts.match_count < 0)
                continue;
            if (opts.verbose)
                fprintf(out, "found matching cskew=%d tskew=%d\n", static_cast<int>(i),
                        static_cast<int>(j));
            if (opts.cylinder_skew < 0)
                opts.cylinder_skew = static_cast<int32_t>(i);
            if (opts.head_skew < 0)
                opts.head_skew = static_cast<int32_t>(j);
        }
    }
}

} // namespace imgconv
