// Places a capture's sectors into image slots by their IDs, and reports every hole.
#include "imgconv/capture/placement.h"

#include "imgconv/lif_header.h"

#include <algorithm>
#include <cerrno>
#include <set>

namespace imgconv {

namespace {

// Every count of the geometry (records per track, cylinders, heads) lies in
// 1..256: no ID byte can reach further.
constexpr uint32_t kMaxGeometryValue = 256;
constexpr uint32_t kHighestRecordId = 255;

bool counts(uint32_t value) {
    return value >= 1 && value <= kMaxGeometryValue;
}

const char* source_text(GeometrySource source) {
    switch (source) {
    case GeometrySource::option:
        return "the option";
    case GeometrySource::lif_header:
        return "the LIF header";
    case GeometrySource::sector_ids:
        break;
    }
    return "the sectors' IDs";
}

// One printed line; the formats are this file's own literals.
template <typename... Args> std::string line(const char* format, Args... args) {
    char text[256];
    std::snprintf(text, sizeof text, format, args...);
    return text;
}

unsigned long ul(uint64_t v) {
    return static_cast<unsigned long>(v);
}

// The first track read at physical cylinder 0, head 0 that holds any sector with data.
const CaptureTrack* first_track(const Capture& capture) {
    for (const CaptureTrack& track : capture.tracks) {
        if (track.cylinder != 0 || track.head != 0)
            continue;
        for (const CaptureSector& s : track.sectors)
            if (s.has_data)
                return &track;
    }
    return nullptr;
}

// The size most sectors with data on the track have; a tie goes to the larger.
uint32_t common_size(const CaptureTrack& track) {
    std::map<uint32_t, uint32_t> seen;
    for (const CaptureSector& s : track.sectors)
        if (s.has_data)
            ++seen[s.size];
    uint32_t size = 0;
    uint32_t most = 0;
    for (const auto& [bytes, count] : seen)
        if (count >= most) {
            size = bytes;
            most = count;
        }
    return size;
}

// Picks the value of one geometry count from the option, the LIF header or the IDs.
uint32_t settle(uint32_t option, bool lif, uint32_t lif_value, uint32_t from_ids,
                GeometrySource& source) {
    if (counts(option)) {
        source = GeometrySource::option;
        return option;
    }
    if (lif && counts(lif_value)) {
        source = GeometrySource::lif_header;
        return lif_value;
    }
    source = GeometrySource::sector_ids;
    return from_ids;
}

// A copy joins the slot it fills: the first copy without a data error wins.
void fill(PlacedSlot& slot, const CaptureSector& copy) {
    if (!slot.copy) {
        slot.copy = &copy;
        slot.data_error = copy.data_error;
    } else if (slot.data_error && !copy.data_error) {
        slot.copy = &copy;
        slot.data_error = false;
    } else if (!slot.data_error && !copy.data_error && copy.data != slot.copy->data) {
        slot.copies_differ = true;
    }
}

} // namespace

Placement place_capture(const Capture& capture, uint32_t sectors, uint32_t cylinders,
                        uint32_t heads) {
    Placement p;
    const CaptureTrack* first = first_track(capture);
    if (!first) {
        p.error = "no sector with data was read at cylinder 0 head 0";
        return p;
    }
    const uint32_t v = common_size(*first);
    p.record_bytes = v;
    auto candidate = [v](const CaptureSector& s) {
        return s.has_data && s.size == v && s.data.size() == v && !s.no_id_field;
    };
    bool found = false;
    uint32_t highest = 0;
    for (const CaptureSector& s : first->sectors) {
        if (!candidate(s) || s.cyl_id != 0 || s.head_id != 0)
            continue;
        if (!found || s.record < p.first_record)
            p.first_record = s.record;
        if (!found || s.record > highest)
            highest = s.record;
        found = true;
    }
    if (!found) {
        p.error = "no sector read at cylinder 0 head 0 carries the ID of cylinder 0 head 0";
        return p;
    }

    // The copy that fills slot (0, 0, first_record) may be a LIF volume header.
    PlacedSlot origin;
    for (const CaptureTrack& track : capture.tracks)
        for (const CaptureSector& s : track.sectors)
            if (candidate(s) && s.cyl_id == 0 && s.head_id == 0 && s.record == p.first_record)
                fill(origin, s);
    const unsigned char* header = origin.copy->data.data();
    const bool lif = v > kLifSectorsOffset + 3 && is_lif_header(header);
    const uint32_t lif_sectors = lif ? get_be32(header + kLifSectorsOffset) : 0;
    const uint32_t lif_cylinders = lif ? get_be32(header + kLifTracksOffset) : 0;
    const uint32_t lif_heads = lif ? get_be32(header + kLifSurfacesOffset) : 0;

    const uint32_t records =
        settle(sectors, lif, lif_sectors, highest - p.first_record + 1, p.records_source);
    const uint32_t last_record = p.first_record + records - 1 > kHighestRecordId
                                     ? kHighestRecordId
                                     : p.first_record + records - 1;
    p.records = last_record - p.first_record + 1;

    uint32_t top_cylinder = 0;
    uint32_t top_head = 0;
    for (const CaptureTrack& track : capture.tracks)
        for (const CaptureSector& s : track.sectors)
            if (candidate(s) && s.record >= p.first_record && s.record <= last_record) {
                top_cylinder = std::max(top_cylinder, s.cyl_id);
                top_head = std::max(top_head, s.head_id);
            }
    p.cylinders = settle(cylinders, lif, lif_cylinders,
                         std::min(top_cylinder + 1, kMaxGeometryValue), p.cylinders_source);
    p.heads =
        settle(heads, lif, lif_heads, std::min(top_head + 1, kMaxGeometryValue), p.heads_source);
    if (lif && ((!counts(cylinders) && lif_cylinders > kMaxGeometryValue) ||
                (!counts(heads) && lif_heads > kMaxGeometryValue)))
        p.warnings.push_back(
            line("Warning: the LIF header's geometry (%lu cylinders, %lu heads) is not used.\n",
                 ul(lif_cylinders), ul(lif_heads)));

    unsigned long other_size = 0, no_data = 0, no_id = 0;
    std::set<LeftOutId> left_out;
    for (const CaptureTrack& track : capture.tracks)
        for (const CaptureSector& s : track.sectors) {
            if (!s.has_data || s.data.size() != s.size) {
                ++no_data;
            } else if (s.size != v) {
                ++other_size;
            } else if (s.no_id_field) {
                ++no_id;
            } else if (s.cyl_id < p.cylinders && s.head_id < p.heads &&
                       s.record >= p.first_record && s.record <= last_record) {
                const uint64_t index = (uint64_t{s.cyl_id} * p.heads + s.head_id) * p.records +
                                       s.record - p.first_record;
                fill(p.slots[index], s);
            } else {
                left_out.insert(LeftOutId{s.cyl_id, s.head_id, s.record});
            }
        }
    p.left_out.assign(left_out.begin(), left_out.end());

    p.verbose.push_back(line("Records of %lu bytes, IDs %lu to %lu on each track (%lu per track, "
                             "from %s)\n",
                             ul(v), ul(p.first_record), ul(last_record), ul(p.records),
                             source_text(p.records_source)));
    p.verbose.push_back(line("Geometry: %lu cylinders (from %s), %lu heads (from %s)\n",
                             ul(p.cylinders), source_text(p.cylinders_source), ul(p.heads),
                             source_text(p.heads_source)));
    p.verbose.push_back(line("Not placed: %lu sectors of another size, %lu without data, %lu "
                             "without an ID field\n",
                             other_size, no_data, no_id));
    return p;
}

void print_placement_warnings(const Placement& p, FILE* out) {
    auto next = p.slots.begin();
    uint64_t index = 0;
    for (uint32_t c = 0; c < p.cylinders; ++c)
        for (uint32_t h = 0; h < p.heads; ++h) {
            const uint64_t track_end = index + p.records;
            if (next == p.slots.end() || next->first >= track_end) {
                std::fprintf(out,
                             "Warning: cylinder %lu head %lu: no sector found; written as "
                             "zeros.\n",
                             static_cast<unsigned long>(c), static_cast<unsigned long>(h));
                index = track_end;
                continue;
            }
            for (; index < track_end; ++index) {
                const unsigned long r =
                    static_cast<unsigned long>(p.first_record + (index + p.records - track_end));
                const char* what = nullptr;
                if (next == p.slots.end() || next->first != index) {
                    what = "not found; written as zeros";
                } else {
                    if (next->second.data_error)
                        what = "was read with a data error; written as read";
                    else if (next->second.copies_differ)
                        what = "was read twice with different data; the first copy is written";
                    ++next;
                }
                if (what)
                    std::fprintf(out, "Warning: cylinder %lu head %lu record %lu %s.\n",
                                 static_cast<unsigned long>(c), static_cast<unsigned long>(h), r,
                                 what);
            }
        }
    for (const LeftOutId& id : p.left_out)
        std::fprintf(out,
                     "Warning: cylinder %lu head %lu record %lu lies outside the image; not "
                     "written.\n",
                     static_cast<unsigned long>(id.cylinder), static_cast<unsigned long>(id.head),
                     static_cast<unsigned long>(id.record));
    const uint64_t zeros = p.slot_count() - p.slots.size();
    if (zeros > 0 || !p.left_out.empty())
        std::fprintf(out, "Warning: %lu records written as zeros, %lu sectors not written.\n",
                     static_cast<unsigned long>(zeros),
                     static_cast<unsigned long>(p.left_out.size()));
}

int write_placement(const Placement& p, FILE* image) {
    const std::vector<unsigned char> zeros(p.record_bytes, 0);
    auto next = p.slots.begin();
    const uint64_t total = p.slot_count();
    for (uint64_t index = 0; index < total; ++index) {
        const unsigned char* bytes = zeros.data();
        if (next != p.slots.end() && next->first == index) {
            bytes = next->second.copy->data.data();
            ++next;
        }
        if (std::fwrite(bytes, 1, p.record_bytes, image) != p.record_bytes)
            return errno != 0 ? errno : EIO;
    }
    return 0;
}

} // namespace imgconv
