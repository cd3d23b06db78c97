// The files of an HP disk as its directory lists them: one model for a LIF volume and for the
// HP 9845's own file system.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace hpfiles {

// Bytes per record of an HP-order image.
constexpr uint32_t kRecordBytes = 256;

enum class FileSystem { lif, hp9845 };

// The byte that pads a name on the right: LIF blanks, the 9845 zero bytes.
constexpr char kLifNamePad = ' ';
constexpr char kHp9845NamePad = '\0';

// The notes a directory reader gives an entry (besides "overlaps NAME").
constexpr const char* kNotePurged = "purged";
constexpr const char* kNotePastEnd = "past the end of the disk";
constexpr const char* kNotePastDataArea = "past the data area";
constexpr const char* kNoteInLabel = "starts in the label";
constexpr const char* kNoteInDirectory = "starts in the directory";
constexpr const char* kNoteOverDirectory = "overlaps the directory";
constexpr const char* kNoteInSystemArea = "starts in the system area";
constexpr const char* kNoteOverFreeTable = "overlaps free records";
constexpr const char* kNoteProtected = "protected";
constexpr const char* kNoteBadName = "name bytes the 9845 does not allow";

// Those notes in the order a listing shows them, ahead of the "overlaps" notes; an entry keeps
// one bit per note, by its place here, so that no note is held as text.
constexpr const char* kFixedNotes[] = {
    kNotePurged,       kNoteInLabel,      kNoteInDirectory, kNoteOverDirectory, kNoteBadName,
    kNoteInSystemArea, kNotePastDataArea, kNotePastEnd,     kNoteProtected,     kNoteOverFreeTable,
};

// Most "overlaps NAME" notes one entry gets; further files are counted in one more note.
constexpr size_t kMaxOverlapNotes = 3;

// One directory entry, in the directory's order.
struct Entry {
    std::string name;           // name bytes without the trailing padding, unescaped
    std::string type_name;      // "DATA", "TEXT", "?E014", "?3F", "purged", ...
    uint16_t type_word = 0;     // LIF: the type; 9845: the whole type word with its flags
    uint32_t start = 0;         // first record (absolute)
    uint32_t records = 0;       // length in records
    uint64_t bytes = 0;         // byte length: exact where the system records it, else records*256
    uint32_t record_length = 0; // logical record length in bytes
    std::array<unsigned char, 6> date{}; // the directory's BCD date bytes (9845: zeros)
    bool purged = false;                 // LIF type 0: listed, extracted only on request
    uint32_t system_flags = 0;           // 9845: bits 15-13 of the type word
    uint16_t protection = 0;             // 9845: the protection word
    uint16_t fixed_notes = 0;            // one bit per note of kFixedNotes, by its place there
    // The entries, by index, that this one shares records with and that its notes name, in
    // directory order; the others it shares with are only counted.
    std::array<uint32_t, kMaxOverlapNotes> overlaps_named{};
    uint8_t overlaps_named_count = 0;
    uint32_t overlaps_unnamed = 0;
    // Records of the file that exist in the image (from `start`, at most `records`).
    uint32_t records_present = 0;
    uint64_t records_lost = 0; // records of a capture's slots written as zeros
};

// Gives `entry` the note `note`, one of kFixedNotes.
void add_note(Entry& entry, const char* note);
// Whether `entry` has the note `note`, one of kFixedNotes.
bool has_note(const Entry& entry, const char* note);

// The volume's own description, for the heading of a listing.
struct LifHeading {
    std::string label;        // 6 bytes, padding removed
    uint32_t dir_start = 0;   // first record of the directory
    uint32_t dir_records = 0; // directory length in records
    uint16_t version = 0;
    uint32_t tracks = 0, surfaces = 0, sectors = 0; // geometry words
    std::string date;                               // as in Entry::date
};

struct Hp9845Heading {
    uint16_t system_id = 0;
    uint16_t sectors_per_track = 0;
    uint16_t tracks = 0;
    uint16_t spare_track = 0;
    uint16_t dir_start = 0;   // first directory record
    uint16_t table_start = 0; // first free-table record = directory end
    uint16_t table_end = 0;   // first record after the table
    uint16_t system_tracks = 0;
    uint16_t data_tracks = 0;
    uint16_t interleave = 0;
};

// A free extent of the 9845 availability table.
struct FreeExtent {
    uint32_t start = 0;
    uint32_t records = 0;
};

struct Volume {
    FileSystem kind = FileSystem::lif;
    LifHeading lif;
    Hp9845Heading hp9845;
    std::vector<Entry> entries;           // directory order
    std::vector<FreeExtent> free_extents; // 9845 only
    uint64_t free_records = 0;  // LIF: records no live file, the label or the directory uses;
                                // 9845: the free table's records
    uint64_t image_records = 0; // whole records the image holds
    // What is odd about the directory, each a whole "Warning: ...\n" line.
    std::vector<std::string> warnings;
};

} // namespace hpfiles
