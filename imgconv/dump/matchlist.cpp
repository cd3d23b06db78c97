// Matchlist skew search over candidate cylinder and head skews.
#include "imgconv/dump/matchlist.h"

namespace imgconv {

void search_skews(const ConvertOptions& opts, DumpPlan& plan, const InterleaveTable& table,
                  FILE* out) {
    // An empty list has nothing to agree with: without this every pair would.
    if (opts.match_count == 0)
        return;
    bool found = false;
    bool one_sum = true;    // every agreeing pair has the same skew sum, mod sectors
    uint32_t first_sum = 0; // that sum, of the first agreeing pair
    // A negative count lists no pair, and a count above kMaxMatchEntries names
    // pairs that were never stored: no candidate can be shown to agree. With
    // no record per cylinder (heads or sectors 0, or a product that wraps to
    // 0) no record has a position either.
    const bool searchable = opts.match_count > 0 && opts.match_count <= kMaxMatchEntries &&
                            plan.sectors * plan.heads != 0;
    for (uint32_t i = 0; searchable && i < plan.sectors; ++i) {
        for (uint32_t j = 0; j < plan.sectors; ++j) {
            int32_t k = 0;
            for (; k < opts.match_count; ++k) {
                const MatchEntry& m = opts.match_entries[k];
                if (record_offset(plan, table, m.which, i, j, false) != m.where)
                    break;
            }
            if (k < opts.match_count)
                continue;
            const uint32_t sum = (i + j) % plan.sectors;
            if (!found)
                first_sum = sum;
            one_sum = one_sum && sum == first_sum;
            found = true;
            if (opts.verbose)
                fprintf(out, "found matching cskew=%d tskew=%d\n", static_cast<int>(i),
                        static_cast<int>(j));
            if (plan.cylinder_skew < 0) {
                plan.cylinder_skew = static_cast<int32_t>(i);
                plan.cylinder_skew_origin = Origin::matchlist;
            }
            if (plan.head_skew < 0) {
                plan.head_skew = static_cast<int32_t>(j);
                plan.head_skew_origin = Origin::matchlist;
            }
        }
    }
    // With one head every track step is a cylinder step: only the sum of the
    // two skews places a record, so pairs with the same sum place every
    // record of the disk alike. Pairs of different sums agree only when the
    // list holds no record past cylinder 0; then they are not all right.
    if (opts.verbose && found && one_sum && plan.heads == 1)
        fprintf(out, "one head: the cylinder skew and the head skew act alike; any listed pair is "
                     "right.\n");
    // The skews not given then fall back to 0, which the user should know
    // was not the list's doing.
    if (!found)
        fprintf(out, "Warning: no skew pair places every matchlist record.\n");
}

} // namespace imgconv
