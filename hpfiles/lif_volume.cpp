// The LIF volume label and directory read into the directory model.
#include "hpfiles/lif_volume.h"

#include "common/byte_order.h"
#include "hpfiles/directory_checks.h"
#include "imgconv/lif_header.h"

#include <algorithm>
#include <cstdio>
#include <utility>

namespace hpfiles {

using common::get_be16;
using common::get_be32;
using common::get_le16;

namespace {

// Volume label fields (byte offsets in record 0).
constexpr size_t kLabelOffset = 2;
constexpr size_t kLabelBytes = 6;
constexpr size_t kVersionOffset = 20;
constexpr size_t kLabelDateOffset = 36;

// Directory entry fields (byte offsets in a 32-byte entry).
constexpr size_t kEntryBytes = 32;
constexpr uint64_t kEntriesPerRecord = kRecordBytes / kEntryBytes;
constexpr size_t kNameBytes = 10;
constexpr size_t kTypeOffset = 10;
constexpr size_t kStartOffset = 12;
constexpr size_t kRecordsOffset = 16;
constexpr size_t kDateOffset = 20;
constexpr size_t kByteCountOffset = 28;    // HP-85/86/87, little-endian
constexpr size_t kRecordLengthOffset = 30; // HP-85/86/87, little-endian

constexpr uint16_t kEndType = 0xFFFF;
constexpr uint16_t kPurgedType = 0x0000;
constexpr auto kNamePad = static_cast<unsigned char>(kLifNamePad);

struct TypeName {
    uint16_t first, last;
    const char* name;
};

constexpr TypeName kTypeNames[] = {
    {0x0001, 0x0001, "TEXT"},  {0x00FF, 0x00FF, "D-LEX"},  {0xE008, 0xE00B, "BPGM"},
    {0xE010, 0xE013, "DATA"},  {0xE020, 0xE023, "PROG"},   {0xE040, 0xE040, "ALL"},
    {0xE050, 0xE050, "KEYS"},  {0xE052, 0xE052, "TXT"},    {0xE053, 0xE053, "APP"},
    {0xE058, 0xE058, "DAT"},   {0xE060, 0xE060, "STATUS"}, {0xE070, 0xE070, "X-M"},
    {0xE080, 0xE080, "PGM"},   {0xE088, 0xE088, "BASIC"},  {0xE089, 0xE089, "LEX"},
    {0xE08A, 0xE08A, "WKS"},   {0xE08B, 0xE08B, "ROM"},    {0xE0D0, 0xE0D0, "SDATA"},
    {0xE0D1, 0xE0D1, "STEXT"}, {0xE0F0, 0xE0F1, "DATA"},   {0xE204, 0xE204, "BIN"},
    {0xE208, 0xE208, "LEX"},   {0xE20C, 0xE20C, "KEY"},    {0xE214, 0xE214, "BASIC"},
    {0xE218, 0xE218, "FORTH"}, {0xE21C, 0xE21C, "ROM"},    {0xE222, 0xE222, "GRAPH"},
    {0xE224, 0xE224, "ADR"},   {0xE22E, 0xE22E, "SYM"},    {0xE942, 0xE942, "SYSTM"},
    {0xE946, 0xE946, "HP-UX"}, {0xE950, 0xE950, "PROG"},   {0xE961, 0xE961, "BDAT"},
    {0xE971, 0xE971, "BIN"},   {0xEA0A, 0xEA0A, "DATA"},   {0xEA32, 0xEA32, "CODE"},
    {0xEA3E, 0xEA3E, "TEXT"},
};

std::string trim_pad(const unsigned char* p, size_t n, unsigned char pad) {
    while (n > 0 && p[n - 1] == pad)
        --n;
    return std::string(reinterpret_cast<const char*>(p), n);
}

std::string records_text(uint64_t n) {
    return std::to_string(n) + (n == 1 ? " record" : " records");
}

Entry read_entry(const unsigned char* p, const Volume& volume) {
    Entry e;
    e.name = trim_pad(p, kNameBytes, kNamePad);
    e.type_word = get_be16(p + kTypeOffset);
    e.start = get_be32(p + kStartOffset);
    e.records = get_be32(p + kRecordsOffset);
    e.purged = e.type_word == kPurgedType;
    e.type_name = e.purged ? kNotePurged : lif_type_name(e.type_word);
    const uint64_t whole = uint64_t{e.records} * kRecordBytes;
    e.bytes = whole;
    e.record_length = kRecordBytes;
    if (is_hp85_type(e.type_word)) {
        const uint16_t count = get_le16(p + kByteCountOffset);
        if (count != 0 && count <= whole)
            e.bytes = count;
        const uint16_t length = get_le16(p + kRecordLengthOffset);
        if (length != 0)
            e.record_length = length;
    }
    std::copy(p + kDateOffset, p + kDateOffset + e.date.size(), e.date.begin());
    e.records_present = records_present(e.start, e.records, volume.image_records);
    if (e.purged)
        add_note(e, kNotePurged);
    if (e.records > 0) {
        const uint64_t start = e.start, end = start + e.records;
        const uint64_t dir_start = volume.lif.dir_start;
        const uint64_t dir_end = dir_start + volume.lif.dir_records;
        if (start == 0)
            add_note(e, kNoteInLabel);
        else if (start >= dir_start && start < dir_end)
            add_note(e, kNoteInDirectory);
        else if (start < dir_end && end > dir_start)
            add_note(e, kNoteOverDirectory);
        if (end > volume.image_records)
            add_note(e, kNotePastEnd);
    }
    return e;
}

} // namespace

bool is_lif(const std::vector<unsigned char>& image) {
    return image.size() >= 2 && imgconv::is_lif_header(image.data());
}

bool is_hp85_type(uint16_t type) {
    return (type >= 0xE008 && type <= 0xE00B) || (type >= 0xE010 && type <= 0xE013) ||
           (type >= 0xE020 && type <= 0xE023);
}

std::string lif_type_name(uint16_t type) {
    for (const TypeName& t : kTypeNames)
        if (type >= t.first && type <= t.last)
            return t.name;
    char text[8];
    std::snprintf(text, sizeof text, "?%04X", type);
    return text;
}

void read_lif_volume(const std::vector<unsigned char>& image, Volume& volume) {
    volume = Volume{};
    volume.kind = FileSystem::lif;
    volume.image_records = image.size() / kRecordBytes;
    // Record 0 as far as the image holds it; the rest reads as zeros.
    unsigned char label[kRecordBytes] = {};
    std::copy(image.begin(),
              image.begin() + static_cast<long>(std::min(image.size(), size_t{kRecordBytes})),
              label);
    LifHeading& h = volume.lif;
    h.label = trim_pad(label + kLabelOffset, kLabelBytes, kNamePad);
    h.dir_start = get_be32(label + imgconv::kLifDirStartOffset);
    h.dir_records = get_be32(label + imgconv::kLifDirSizeOffset);
    h.version = get_be16(label + kVersionOffset);
    h.tracks = get_be32(label + imgconv::kLifTracksOffset);
    h.surfaces = get_be32(label + imgconv::kLifSurfacesOffset);
    h.sectors = get_be32(label + imgconv::kLifSectorsOffset);
    h.date = directory_date(label + kLabelDateOffset);

    const uint64_t dir_start = h.dir_start;
    const uint64_t dir_end = dir_start + h.dir_records;
    if (h.dir_start == 0)
        volume.warnings.push_back(
            "Warning: the directory starts at record 0, in the volume label.\n");
    const uint64_t slots = uint64_t{h.dir_records} * kEntriesPerRecord;
    // Room for every entry the image can hold, at once: the vector never holds twice its size.
    const uint64_t dir_bytes = dir_start * kRecordBytes;
    const uint64_t room = dir_bytes < image.size() ? (image.size() - dir_bytes) / kEntryBytes : 0;
    volume.entries.reserve(static_cast<size_t>(std::min(slots, room)));
    uint64_t slot = 0;
    bool end_mark = false;
    for (; slot < slots; ++slot) {
        const uint64_t at = dir_start * kRecordBytes + slot * kEntryBytes;
        if (at + kEntryBytes > image.size())
            break;
        const unsigned char* p = image.data() + at;
        if (get_be16(p + kTypeOffset) == kEndType) {
            end_mark = true;
            break;
        }
        volume.entries.push_back(read_entry(p, volume));
    }
    if (!end_mark && slot < slots)
        volume.warnings.push_back(
            "Warning: the directory (records " + std::to_string(dir_start) + " to " +
            std::to_string(dir_end - 1) + ") reaches past the end of the disk (" +
            records_text(volume.image_records) + "); the listing stops there.\n");
    else if (!end_mark)
        volume.warnings.push_back("Warning: the directory has no end mark; the listing stops at "
                                  "its end (" +
                                  records_text(h.dir_records) + ").\n");

    std::vector<bool> live(volume.entries.size());
    for (size_t i = 0; i < volume.entries.size(); ++i)
        live[i] = !volume.entries[i].purged;
    note_overlaps(volume.entries, live);
    warn_duplicate_names(volume.entries, live, volume.warnings);
    std::vector<Extent> used = {{0, 1}, {dir_start, dir_end}};
    for (const Entry& e : volume.entries)
        if (!e.purged)
            used.push_back({e.start, uint64_t{e.start} + e.records});
    volume.free_records =
        volume.image_records - covered_records(std::move(used), volume.image_records);
}

} // namespace hpfiles
