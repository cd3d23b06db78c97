// Checks both directory readers make: shared records, repeated names, records in use, dates.
#include "hpfiles/directory_checks.h"

#include "hpfiles/listing.h"

#include <algorithm>
#include <cstdio>
#include <map>

namespace hpfiles {

namespace {

constexpr int kCenturyPivotYear = 70; // two-digit years from here on are 19xx

// A BCD byte's value, or -1 when a digit is not decimal.
int bcd_value(unsigned char b) {
    const int hi = b >> 4, lo = b & 0x0F;
    return hi > 9 || lo > 9 ? -1 : hi * 10 + lo;
}

} // namespace

namespace {

// The ends of extents in the order of their starts, searchable for the last extent before a
// position whose end passes a record.
class EndTree {
  public:
    explicit EndTree(const std::vector<uint64_t>& ends) {
        while (leaves_ < ends.size())
            leaves_ *= 2;
        max_.assign(2 * leaves_, 0);
        std::copy(ends.begin(), ends.end(), max_.begin() + static_cast<long>(leaves_));
        for (size_t i = leaves_ - 1; i > 0; --i)
            max_[i] = std::max(max_[2 * i], max_[2 * i + 1]);
    }
    // The last position before `limit` whose end is past `record`, or `limit` when none is.
    size_t last_before(size_t limit, uint64_t record) const {
        const size_t found = search(1, 0, leaves_, limit, record);
        return found == kNone ? limit : found;
    }

  private:
    static constexpr size_t kNone = static_cast<size_t>(-1);
    size_t search(size_t node, size_t lo, size_t hi, size_t limit, uint64_t record) const {
        if (lo >= limit || max_[node] <= record)
            return kNone;
        if (hi - lo == 1)
            return lo;
        const size_t mid = lo + (hi - lo) / 2;
        const size_t right = search(2 * node + 1, mid, hi, limit, record);
        return right != kNone ? right : search(2 * node, lo, mid, limit, record);
    }
    size_t leaves_ = 1;
    std::vector<uint64_t> max_;
};

} // namespace

void note_overlaps(std::vector<Entry>& entries, const std::vector<bool>& live) {
    std::vector<size_t> order; // live entries with records, by first record
    for (size_t i = 0; i < entries.size(); ++i)
        if (live[i] && entries[i].records > 0)
            order.push_back(i);
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return entries[a].start < entries[b].start; });
    std::vector<uint64_t> starts, ends;
    for (size_t i : order) {
        starts.push_back(entries[i].start);
        ends.push_back(uint64_t{entries[i].start} + entries[i].records);
    }
    std::vector<uint64_t> sorted_ends = ends;
    std::sort(sorted_ends.begin(), sorted_ends.end());
    const EndTree tree(ends);
    for (size_t k = 0; k < order.size(); ++k) {
        // Files sharing a record with this one: those starting before its end, less those
        // ending before its start, less itself.
        const auto starting = static_cast<uint64_t>(
            std::lower_bound(starts.begin(), starts.end(), ends[k]) - starts.begin());
        const auto ended = static_cast<uint64_t>(
            std::upper_bound(sorted_ends.begin(), sorted_ends.end(), starts[k]) -
            sorted_ends.begin());
        const uint64_t partners = starting - ended - 1;
        // Name a few: the nearest that start before it, then those that start after.
        std::vector<size_t> named;
        for (size_t m = k; named.size() < kMaxOverlapNotes;) {
            const size_t found = tree.last_before(m, starts[k]);
            if (found == m)
                break;
            named.push_back(order[found]);
            m = found;
        }
        for (size_t m = k + 1;
             m < order.size() && starts[m] < ends[k] && named.size() < kMaxOverlapNotes; ++m)
            named.push_back(order[m]);
        std::sort(named.begin(), named.end());
        Entry& e = entries[order[k]];
        for (size_t p : named)
            e.notes.push_back("overlaps " + escape_name(entries[p].name));
        if (partners > named.size()) {
            const uint64_t more = partners - named.size();
            e.notes.push_back("overlaps " + std::to_string(more) + " more file" +
                              (more == 1 ? "" : "s"));
        }
    }
}

void warn_duplicate_names(const std::vector<Entry>& entries, const std::vector<bool>& live,
                          std::vector<std::string>& warnings) {
    std::map<std::string, size_t> times;
    std::vector<std::string> order; // names in the order they first appear
    for (size_t i = 0; i < entries.size(); ++i) {
        if (!live[i])
            continue;
        if (++times[entries[i].name] == 2)
            order.push_back(entries[i].name);
    }
    for (const std::string& name : order)
        warnings.push_back("Warning: " + std::to_string(times[name]) +
                           " files in the directory are named \"" + escape_name(name) +
                           "\"; get cannot choose between them by name.\n");
}

uint64_t covered_records(std::vector<Extent> extents, uint64_t limit) {
    for (Extent& e : extents)
        e.end = std::min(e.end, limit);
    std::sort(extents.begin(), extents.end(),
              [](const Extent& a, const Extent& b) { return a.start < b.start; });
    uint64_t covered = 0, reached = 0;
    for (const Extent& e : extents) {
        const uint64_t from = std::max(e.start, reached);
        if (e.end > from) {
            covered += e.end - from;
            reached = e.end;
        }
    }
    return covered;
}

std::string directory_date(const unsigned char* six) {
    if (std::all_of(six, six + 6, [](unsigned char b) { return b == 0; }))
        return "";
    int v[6];
    for (int i = 0; i < 6; ++i)
        v[i] = bcd_value(six[i]);
    const bool valid = v[0] >= 0 && v[1] >= 1 && v[1] <= 12 && v[2] >= 1 && v[2] <= 31 &&
                       v[3] >= 0 && v[3] <= 23 && v[4] >= 0 && v[4] <= 59 && v[5] >= 0 &&
                       v[5] <= 59;
    char text[32];
    if (!valid) {
        std::snprintf(text, sizeof text, "%02X%02X%02X%02X%02X%02X", six[0], six[1], six[2], six[3],
                      six[4], six[5]);
        return text;
    }
    const int year = v[0] + (v[0] >= kCenturyPivotYear ? 1900 : 2000);
    std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d:%02d", year, v[1], v[2], v[3], v[4],
                  v[5]);
    return text;
}

uint32_t records_present(uint64_t start, uint64_t records, uint64_t image_records) {
    if (start >= image_records)
        return 0;
    return static_cast<uint32_t>(std::min(records, image_records - start));
}

} // namespace hpfiles
