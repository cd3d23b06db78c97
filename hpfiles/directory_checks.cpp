// Checks both directory readers make: shared records, repeated names, records in use, dates.
#include "hpfiles/directory_checks.h"

#include "hpfiles/listing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>

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

namespace {

// The place of `note` in kFixedNotes, or -1.
int fixed_note_bit(const char* note) {
    for (size_t i = 0; i < std::size(kFixedNotes); ++i)
        if (std::strcmp(kFixedNotes[i], note) == 0)
            return static_cast<int>(i);
    return -1;
}

} // namespace

void add_note(Entry& entry, const char* note) {
    const int bit = fixed_note_bit(note);
    if (bit >= 0)
        entry.fixed_notes = static_cast<uint16_t>(entry.fixed_notes | 1u << bit);
}

bool has_note(const Entry& entry, const char* note) {
    const int bit = fixed_note_bit(note);
    return bit >= 0 && (entry.fixed_notes >> bit & 1u) != 0;
}

void note_overlaps(std::vector<Entry>& entries, const std::vector<bool>& live) {
    // Entry indices fit 32 bits: a directory entry takes at least 16 bytes of the image.
    std::vector<uint32_t> order; // live entries with records, by first record
    for (size_t i = 0; i < entries.size(); ++i)
        if (live[i] && entries[i].records > 0)
            order.push_back(static_cast<uint32_t>(i));
    std::stable_sort(order.begin(), order.end(),
                     [&](uint32_t a, uint32_t b) { return entries[a].start < entries[b].start; });
    std::vector<uint32_t> starts(order.size());
    std::vector<uint64_t> ends(order.size());
    for (size_t k = 0; k < order.size(); ++k) {
        starts[k] = entries[order[k]].start;
        ends[k] = uint64_t{entries[order[k]].start} + entries[order[k]].records;
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
        Entry& e = entries[order[k]];
        size_t named = 0;
        for (size_t m = k; named < kMaxOverlapNotes;) {
            const size_t found = tree.last_before(m, starts[k]);
            if (found == m)
                break;
            e.overlaps_named[named++] = order[found];
            m = found;
        }
        for (size_t m = k + 1; m < order.size() && starts[m] < ends[k] && named < kMaxOverlapNotes;
             ++m)
            e.overlaps_named[named++] = order[m];
        std::sort(e.overlaps_named.begin(), e.overlaps_named.begin() + static_cast<long>(named));
        e.overlaps_named_count = static_cast<uint8_t>(named);
        e.overlaps_unnamed = static_cast<uint32_t>(partners - named);
    }
}

void warn_duplicate_names(const std::vector<Entry>& entries, const std::vector<bool>& live,
                          std::vector<std::string>& warnings) {
    // Live entries by name, then by place: a name's run starts with its first entry.
    std::vector<uint32_t> by_name;
    for (size_t i = 0; i < entries.size(); ++i)
        if (live[i])
            by_name.push_back(static_cast<uint32_t>(i));
    std::stable_sort(by_name.begin(), by_name.end(),
                     [&](uint32_t a, uint32_t b) { return entries[a].name < entries[b].name; });
    struct Repeated {
        uint32_t second; // the entry that repeats the name first: the warnings' order
        uint32_t first;
        size_t times;
    };
    std::vector<Repeated> repeated;
    for (size_t k = 0; k < by_name.size();) {
        size_t end = k + 1;
        while (end < by_name.size() && entries[by_name[end]].name == entries[by_name[k]].name)
            ++end;
        if (end - k > 1)
            repeated.push_back({by_name[k + 1], by_name[k], end - k});
        k = end;
    }
    by_name = std::vector<uint32_t>();
    std::sort(repeated.begin(), repeated.end(),
              [](const Repeated& a, const Repeated& b) { return a.second < b.second; });
    WarningsOfAKind named(warnings);
    for (const Repeated& r : repeated)
        if (named.next())
            warnings.push_back("Warning: " + std::to_string(r.times) +
                               " files in the directory are named \"" +
                               escape_name(entries[r.first].name) +
                               "\"; get cannot choose between them by name.\n");
    named.close("names are each carried by more than one file.\n");
}

void WarningsOfAKind::close(const char* what) {
    if (count_ > kMaxWarningsOfAKind)
        warnings_.push_back("Warning: " + std::to_string(count_ - kMaxWarningsOfAKind) + " more " +
                            what);
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
