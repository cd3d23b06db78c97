// The HP 9845's own system record, directory and free table read into the directory model.
#include "hpfiles/hp9845_volume.h"

#include "common/byte_order.h"
#include "hpfiles/directory_checks.h"
#include "hpfiles/listing.h"

#include <algorithm>
#include <cstdio>
#include <limits>
#include <utility>

namespace hpfiles {

using common::get_be16;

namespace {

// System record words (byte offsets in record 0).
constexpr size_t kSystemIdOffset = 0;
constexpr size_t kSectorsOffset = 2;
constexpr size_t kTracksOffset = 4;
constexpr size_t kSpareTrackOffset = 6;
constexpr size_t kDirStartOffset = 8;
constexpr size_t kTableStartOffset = 10;
constexpr size_t kTableEndOffset = 12;
constexpr size_t kSystemTracksOffset = 14;
constexpr size_t kDataTracksOffset = 16;
constexpr size_t kInterleaveOffset = 18;
constexpr size_t kSystemRecordBytes = 20;
constexpr uint16_t kMaxSectorsPerTrack = 255;

// Directory entry fields (byte offsets in a 16-byte entry).
constexpr size_t kEntryBytes = 16;
constexpr size_t kNameBytes = 6;
constexpr size_t kEndMarkOffset = 2; // FF FF here ends the directory
constexpr size_t kStartOffset = 6;
constexpr size_t kRecordsOffset = 8;
constexpr size_t kWordsOffset = 10;
constexpr size_t kTypeOffset = 12;
constexpr size_t kProtectionOffset = 14;
constexpr uint16_t kEndMark = 0xFFFF;
constexpr unsigned kTypeShift = 7;
constexpr unsigned kTypeMask = 0x3F;
constexpr unsigned kFlagsShift = 13;
constexpr uint32_t kBytesPerWord = 2;
constexpr auto kNamePad = static_cast<unsigned char>(kHp9845NamePad);
// Name bytes the 9845 allows: 0x21..0x7E except '"' and ':'.
constexpr unsigned char kFirstNameByte = 0x21;
constexpr unsigned char kLastNameByte = 0x7E;

// Free table pairs (first record, records), 4 bytes each.
constexpr size_t kPairBytes = 4;
constexpr uint16_t kTableEnd = 0xFFFF;

struct TypeName {
    unsigned code;
    const char* name;
};

constexpr TypeName kTypeNames[] = {{0, "BKUP"},  {8, "DATA"},  {16, "PROG"},
                                   {24, "KEYS"}, {32, "BDAT"}, {40, "ALL"},
                                   {48, "BPRG"}, {56, "OPRM"}, {60, "ASMB"}};

// A system record word; words past the image's end read as 0.
uint16_t system_word(const std::vector<unsigned char>& image, size_t offset) {
    return offset + 2 <= image.size() ? get_be16(image.data() + offset) : 0;
}

bool name_allowed(const std::string& name) {
    if (name.empty())
        return false;
    for (char c : name) {
        const auto b = static_cast<unsigned char>(c);
        if (b < kFirstNameByte || b > kLastNameByte || b == '"' || b == ':')
            return false;
    }
    return true;
}

std::string range_text(uint64_t first, uint64_t count) {
    return count == 1
               ? "record " + std::to_string(first)
               : "records " + std::to_string(first) + " to " + std::to_string(first + count - 1);
}

std::string records_text(uint64_t n) {
    return std::to_string(n) + (n == 1 ? " record" : " records");
}

Entry read_entry(const unsigned char* p, const Volume& volume, uint64_t data_start,
                 uint64_t data_end) {
    Entry e;
    size_t n = kNameBytes;
    while (n > 0 && p[n - 1] == kNamePad)
        --n;
    e.name.assign(reinterpret_cast<const char*>(p), n);
    e.start = get_be16(p + kStartOffset);
    e.records = get_be16(p + kRecordsOffset);
    e.record_length = uint32_t{get_be16(p + kWordsOffset)} * kBytesPerWord;
    e.type_word = get_be16(p + kTypeOffset);
    e.type_name = hp9845_type_name(e.type_word);
    e.system_flags = e.type_word >> kFlagsShift;
    e.protection = get_be16(p + kProtectionOffset);
    e.bytes = uint64_t{e.records} * kRecordBytes;
    e.records_present = records_present(e.start, e.records, volume.image_records);
    if (!name_allowed(e.name))
        add_note(e, kNoteBadName);
    if (e.records > 0) {
        const uint64_t end = uint64_t{e.start} + e.records;
        if (e.start < data_start)
            add_note(e, kNoteInSystemArea);
        else if (end > data_end)
            add_note(e, kNotePastDataArea);
        if (end > volume.image_records)
            add_note(e, kNotePastEnd);
    }
    if (e.protection != 0)
        add_note(e, kNoteProtected);
    return e;
}

// The free table's pairs up to its end mark, with warnings for extents outside the data area
// and records listed twice.
void read_free_table(const std::vector<unsigned char>& image, Volume& volume, uint64_t data_start,
                     uint64_t data_end) {
    const Hp9845Heading& h = volume.hp9845;
    const uint64_t first = uint64_t{h.table_start} * kRecordBytes;
    const uint64_t end = std::min<uint64_t>(uint64_t{h.table_end} * kRecordBytes, image.size());
    bool end_mark = false;
    WarningsOfAKind outside(volume.warnings);
    for (uint64_t at = first; at + kPairBytes <= end; at += kPairBytes) {
        const uint16_t start = get_be16(image.data() + at);
        const uint16_t records = get_be16(image.data() + at + 2);
        if (start == kTableEnd) {
            end_mark = true;
            break;
        }
        if (records == 0)
            continue;
        volume.free_extents.push_back({start, records});
        volume.free_records += records;
        if ((start < data_start || uint64_t{start} + records > data_end) && outside.next())
            volume.warnings.push_back("Warning: the free table lists " +
                                      range_text(start, records) + ", outside the data area.\n");
    }
    outside.close("extents of the free table lie outside the data area.\n");
    if (!end_mark && h.table_end > h.table_start &&
        uint64_t{h.table_end} * kRecordBytes > image.size())
        volume.warnings.push_back("Warning: the free table (" +
                                  range_text(h.table_start, uint64_t{h.table_end} - h.table_start) +
                                  ") reaches past the end of the disk (" +
                                  records_text(volume.image_records) + ").\n");
    std::vector<Extent> extents;
    for (const FreeExtent& f : volume.free_extents)
        extents.push_back({f.start, uint64_t{f.start} + f.records});
    const uint64_t once = covered_records(std::move(extents), std::numeric_limits<uint64_t>::max());
    if (once != volume.free_records)
        volume.warnings.push_back("Warning: the free table lists " +
                                  records_text(volume.free_records - once) + " more than once.\n");
}

// Notes and a warning for each file that shares records with a free extent, and a warning
// when the files and the free records do not make up the data area.
void check_against_table(Volume& volume, uint64_t data_start, uint64_t data_end) {
    std::vector<Extent> table;
    for (const FreeExtent& f : volume.free_extents)
        table.push_back({f.start, uint64_t{f.start} + f.records});
    std::sort(table.begin(), table.end(),
              [](const Extent& a, const Extent& b) { return a.start < b.start; });
    // Running maximum of the ends, so that one binary search finds any extent reaching a file.
    std::vector<uint64_t> reach(table.size());
    for (size_t i = 0; i < table.size(); ++i)
        reach[i] = std::max(table[i].end, i ? reach[i - 1] : 0);
    uint64_t file_records = 0;
    WarningsOfAKind over_table(volume.warnings);
    for (Entry& e : volume.entries) {
        file_records += e.records;
        if (e.records == 0)
            continue;
        const uint64_t start = e.start, end = start + e.records;
        // Extents that start before the file's end; one of them reaches into it if the
        // largest end among them passes the file's start.
        const auto before =
            std::lower_bound(table.begin(), table.end(), end,
                             [](const Extent& x, uint64_t v) { return x.start < v; });
        const size_t k = static_cast<size_t>(before - table.begin());
        if (k > 0 && reach[k - 1] > start) {
            add_note(e, kNoteOverFreeTable);
            if (over_table.next())
                volume.warnings.push_back("Warning: file \"" + escape_name(e.name) +
                                          "\" uses records that the free table lists as free.\n");
        }
    }
    over_table.close("files use records that the free table lists as free.\n");
    const uint64_t area = data_end > data_start ? data_end - data_start : 0;
    if (file_records + volume.free_records != area)
        volume.warnings.push_back("Warning: the files (" + records_text(file_records) +
                                  ") and the free table (" + records_text(volume.free_records) +
                                  ") do not make up the data area (" + records_text(area) + ").\n");
}

// Compares the directory and the table with their spare copy on the spare track.
void check_spare_copy(const std::vector<unsigned char>& image, Volume& volume) {
    const Hp9845Heading& h = volume.hp9845;
    const uint64_t first = uint64_t{h.dir_start} * kRecordBytes;
    const uint64_t count = (uint64_t{h.table_end} - h.dir_start) * kRecordBytes;
    const uint64_t spare =
        (uint64_t{h.spare_track} * h.sectors_per_track + h.dir_start) * kRecordBytes;
    if (h.table_end <= h.dir_start || spare == first || first + count > image.size() ||
        spare + count > image.size())
        return;
    if (!std::equal(image.begin() + static_cast<long>(first),
                    image.begin() + static_cast<long>(first + count),
                    image.begin() + static_cast<long>(spare)))
        volume.warnings.push_back("Warning: the spare copy of the directory and free table (" +
                                  range_text(spare / kRecordBytes, count / kRecordBytes) +
                                  ") differs from the directory and free table in use.\n");
}

} // namespace

std::string hp9845_type_name(uint16_t type_word) {
    const unsigned code = (type_word >> kTypeShift) & kTypeMask;
    for (const TypeName& t : kTypeNames)
        if (t.code == code)
            return t.name;
    char text[8];
    std::snprintf(text, sizeof text, "?%02X", code);
    return text;
}

bool is_hp9845(const std::vector<unsigned char>& image) {
    if (image.size() < kSystemRecordBytes)
        return false;
    const uint16_t spt = system_word(image, kSectorsOffset);
    const uint16_t tracks = system_word(image, kTracksOffset);
    const uint16_t dir = system_word(image, kDirStartOffset);
    const uint16_t table = system_word(image, kTableStartOffset);
    const uint16_t table_end = system_word(image, kTableEndOffset);
    const uint16_t system_tracks = system_word(image, kSystemTracksOffset);
    const uint16_t data_tracks = system_word(image, kDataTracksOffset);
    return spt >= 1 && spt <= kMaxSectorsPerTrack && dir >= 1 && dir < table && table < table_end &&
           table_end <= uint32_t{system_tracks} * spt && system_tracks >= 1 && data_tracks >= 1 &&
           tracks >= uint32_t{system_tracks} + data_tracks;
}

void read_hp9845_volume(const std::vector<unsigned char>& image, Volume& volume) {
    volume = Volume{};
    volume.kind = FileSystem::hp9845;
    volume.image_records = image.size() / kRecordBytes;
    Hp9845Heading& h = volume.hp9845;
    h.system_id = system_word(image, kSystemIdOffset);
    h.sectors_per_track = system_word(image, kSectorsOffset);
    h.tracks = system_word(image, kTracksOffset);
    h.spare_track = system_word(image, kSpareTrackOffset);
    h.dir_start = system_word(image, kDirStartOffset);
    h.table_start = system_word(image, kTableStartOffset);
    h.table_end = system_word(image, kTableEndOffset);
    h.system_tracks = system_word(image, kSystemTracksOffset);
    h.data_tracks = system_word(image, kDataTracksOffset);
    h.interleave = system_word(image, kInterleaveOffset);
    const uint64_t data_start = uint64_t{h.system_tracks} * h.sectors_per_track;
    const uint64_t data_end = (uint64_t{h.system_tracks} + h.data_tracks) * h.sectors_per_track;

    const uint64_t dir_first = uint64_t{h.dir_start} * kRecordBytes;
    const uint64_t dir_end = uint64_t{h.table_start} * kRecordBytes;
    // Room for every entry the directory's records in the image can hold, at once.
    const uint64_t dir_last = std::min<uint64_t>(dir_end, image.size());
    volume.entries.reserve(
        static_cast<size_t>(dir_last > dir_first ? (dir_last - dir_first) / kEntryBytes : 0));
    uint64_t at = dir_first;
    bool end_mark = false, free_slot = false;
    for (; at + kEntryBytes <= dir_end && at + kEntryBytes <= image.size(); at += kEntryBytes) {
        const unsigned char* p = image.data() + at;
        if (get_be16(p + kEndMarkOffset) == kEndMark) {
            end_mark = true;
            break;
        }
        if (p[0] == 0 && p[1] == 0) {
            free_slot = true;
            continue;
        }
        volume.entries.push_back(read_entry(p, volume, data_start, data_end));
    }
    if (!end_mark && at + kEntryBytes <= dir_end)
        volume.warnings.push_back("Warning: the directory (" +
                                  range_text(h.dir_start, uint64_t{h.table_start} - h.dir_start) +
                                  ") reaches past the end of the disk (" +
                                  records_text(volume.image_records) +
                                  "); the listing stops there.\n");
    else if (!end_mark && free_slot)
        volume.warnings.push_back("Warning: the directory has no end mark; the listing stops "
                                  "at its end (" +
                                  records_text(uint64_t{h.table_start} - h.dir_start) + ").\n");

    read_free_table(image, volume, data_start, data_end);
    check_against_table(volume, data_start, data_end);
    std::vector<bool> live(volume.entries.size(), true);
    note_overlaps(volume.entries, live);
    warn_duplicate_names(volume.entries, live, volume.warnings);
    check_spare_copy(image, volume);
}

} // namespace hpfiles
