// The plan's starting point and the names of where its values came from.
#include "imgconv/plan.h"

#include <initializer_list>

namespace imgconv {

const char* origin_text(Origin origin) {
    switch (origin) {
    case Origin::option:
        return "the command line";
    case Origin::lif_header:
        return "the LIF header";
    case Origin::interleave_scan:
        return "the interleave scan";
    case Origin::matchlist:
        return "the matchlist";
    case Origin::defaults:
        break;
    }
    return "the defaults";
}

DumpPlan plan_from_options(const ConvertOptions& opts) {
    DumpPlan plan;
    plan.cylinders = opts.cylinders;
    plan.heads = opts.heads;
    plan.sectors = opts.sectors;
    plan.interleave = opts.interleave;
    plan.cylinder_skew = opts.cylinder_skew;
    plan.head_skew = opts.head_skew;
    plan.skew_count = opts.skew_count;
    plan.rec_size = opts.rec_size;
    plan.junk = opts.junk;
    plan.cylinder_skip = opts.cylinder_skip;
    plan.head_skip = opts.head_skip;
    return plan;
}

const char* geometry_origin_text(const DumpPlan& plan) {
    for (Origin origin : {plan.cylinders_origin, plan.heads_origin, plan.sectors_origin})
        if (origin != Origin::option)
            return origin_text(origin);
    return origin_text(Origin::option);
}

bool geometry_all_given(const ConvertOptions& opts) {
    return opts.cylinders != 0 && opts.heads != 0 && opts.sectors != 0;
}

} // namespace imgconv
