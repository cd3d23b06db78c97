// Cylinder and head skew found from a matchlist of known record positions.
#pragma once

#include "imgconv/dump/mapping.h"
#include "imgconv/options.h"
#include "imgconv/plan.h"

#include <cstdio>

namespace imgconv {

// Tries every cylinder skew i and head skew j in 0..sectors-1 (i outer, j
// inner) against the matchlist of `opts`, when it holds 1 to 10 pairs. Every agreeing pair is
// reported on `out` when verbose; the first one fills each skew of `plan` that is still negative
// (its origin: the matchlist). A search with a count other than 0 that finds no pair says so on
// `out`, also without verbose. Reads no input.
void search_skews(const ConvertOptions& opts, DumpPlan& plan, const InterleaveTable& table,
                  FILE* out);

} // namespace imgconv
