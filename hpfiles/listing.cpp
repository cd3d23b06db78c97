// What `list` prints: an aligned table for people or tab-separated lines for scripts.
#include "hpfiles/listing.h"

#include "hpfiles/directory_checks.h"

#include <algorithm>
#include <cctype>
#include <functional>
#include <iterator>
#include <vector>

namespace hpfiles {

namespace {

constexpr unsigned char kFirstShown = 0x20;
constexpr unsigned char kLastShown = 0x7E;
constexpr const char* kColumnGap = "  ";
constexpr const char* kNoteSeparator = "; ";

bool is_hex(char c) {
    return std::isxdigit(static_cast<unsigned char>(c)) != 0;
}

int hex_value(char c) {
    return c <= '9' ? c - '0' : (std::toupper(static_cast<unsigned char>(c)) - 'A' + 10);
}

// "\x" and two hex digits at `i` of `s`.
bool escape_at(const std::string& s, size_t i) {
    return i + 3 < s.size() && s[i] == '\\' && s[i + 1] == 'x' && is_hex(s[i + 2]) &&
           is_hex(s[i + 3]);
}

std::string hex4(unsigned v) {
    char text[8];
    std::snprintf(text, sizeof text, "%04X", v & 0xFFFF);
    return text;
}

std::string plural(uint64_t n, const char* one, const char* many) {
    return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string record_range(uint64_t first, uint64_t end) {
    if (end <= first + 1)
        return "record " + std::to_string(first);
    return "records " + std::to_string(first) + " to " + std::to_string(end - 1);
}

std::string lif_heading(const Volume& v) {
    const LifHeading& h = v.lif;
    std::string s = "LIF volume \"" + escape_name(h.label) + "\", directory at " +
                    record_range(h.dir_start, uint64_t{h.dir_start} + h.dir_records) + " (" +
                    plural(h.dir_records, "record", "records") + "), version " +
                    std::to_string(h.version) + ", geometry " + std::to_string(h.tracks) +
                    " tracks x " + std::to_string(h.surfaces) + " surfaces x " +
                    std::to_string(h.sectors) + " records";
    if (!h.date.empty())
        s += ", initialised " + h.date;
    return s + "\n";
}

std::string hp9845_heading(const Volume& v) {
    const Hp9845Heading& h = v.hp9845;
    return "HP 9845 file system, system id " + hex4(h.system_id) + ", " +
           std::to_string(h.sectors_per_track) + " records per track, " + std::to_string(h.tracks) +
           " tracks (" + std::to_string(h.system_tracks) + " system, " +
           std::to_string(h.data_tracks) + " data, spare track " + std::to_string(h.spare_track) +
           "), directory at " + record_range(h.dir_start, h.table_start) + ", free table at " +
           record_range(h.table_start, h.table_end) + ", interleave " +
           std::to_string(h.interleave) + "\n";
}

// Where listing text goes: a string being built, or a stream written line by line, so that a
// directory of many entries is never held as text a second time.
using Sink = std::function<void(const std::string&)>;

// The cells of one entry's row in the human listing.
std::vector<std::string> listing_row(const Volume& v, const Entry& e, bool lif) {
    std::vector<std::string> row = {escape_name(e.name), e.type_name, hex4(e.type_word)};
    if (!lif)
        row.push_back("S=" + std::to_string(e.system_flags));
    row.push_back(std::to_string(e.start));
    row.push_back(std::to_string(e.records));
    row.push_back(std::to_string(e.bytes));
    row.push_back(std::to_string(e.record_length));
    if (lif)
        row.push_back(directory_date(e.date.data()));
    row.push_back(joined_notes(v.entries, e));
    return row;
}

// One row in aligned columns; numbers right-aligned, the last column unpadded.
std::string aligned_line(const std::vector<std::string>& row, const std::vector<size_t>& width,
                         const std::vector<bool>& right) {
    std::string line;
    for (size_t c = 0; c < row.size(); ++c) {
        const std::string pad(width[c] - row[c].size(), ' ');
        if (c)
            line += kColumnGap;
        if (right[c])
            line += pad + row[c];
        else
            line += c + 1 < row.size() ? row[c] + pad : row[c];
    }
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    return line + "\n";
}

// The human listing, one line at a time: the column widths are measured in a first pass over
// the entries and each row is made again when it is written.
void write_listing(const Volume& v, const Sink& sink) {
    const bool lif = v.kind == FileSystem::lif;
    std::vector<std::string> titles;
    std::vector<bool> right;
    if (lif) {
        titles = {"Name", "Type", "Code", "Start", "Records", "Bytes", "Reclen", "Date", "Notes"};
        right = {false, false, false, true, true, true, true, false, false};
    } else {
        titles = {"Name", "Type", "Code", "Flags", "Start", "Records", "Bytes", "Reclen", "Notes"};
        right = {false, false, false, false, true, true, true, true, false};
    }
    std::vector<size_t> width(titles.size(), 0);
    const auto measure = [&](const std::vector<std::string>& row) {
        for (size_t c = 0; c < row.size(); ++c)
            width[c] = std::max(width[c], row[c].size());
    };
    measure(titles);
    uint64_t files = 0, purged = 0;
    for (const Entry& e : v.entries) {
        (e.purged ? purged : files) += 1;
        measure(listing_row(v, e, lif));
    }
    sink(lif ? lif_heading(v) : hp9845_heading(v));
    sink(aligned_line(titles, width, right));
    for (const Entry& e : v.entries)
        sink(aligned_line(listing_row(v, e, lif), width, right));
    std::string summary = plural(files, "file", "files");
    if (lif)
        summary += ", " + plural(purged, "purged entry", "purged entries") + ", " +
                   plural(v.free_records, "free record", "free records");
    else
        summary += ", " + plural(v.free_records, "free record", "free records") + " in " +
                   plural(v.free_extents.size(), "extent", "extents");
    sink(summary + "\n");
}

void write_tsv(const Volume& v, const Sink& sink) {
    sink("name\ttype\tcode\tstart\trecords\tbytes\treclen\tdate\tnotes\n");
    for (const Entry& e : v.entries)
        sink(escape_name(e.name) + "\t" + e.type_name + "\t" + hex4(e.type_word) + "\t" +
             std::to_string(e.start) + "\t" + std::to_string(e.records) + "\t" +
             std::to_string(e.bytes) + "\t" + std::to_string(e.record_length) + "\t" +
             directory_date(e.date.data()) + "\t" + joined_notes(v.entries, e) + "\n");
}

std::string text_of(void (*write)(const Volume&, const Sink&), const Volume& v) {
    std::string out;
    write(v, [&out](const std::string& line) { out += line; });
    return out;
}

void print_with(void (*write)(const Volume&, const Sink&), const Volume& v, FILE* out) {
    write(v, [out](const std::string& line) { std::fwrite(line.data(), 1, line.size(), out); });
}

} // namespace

std::string joined_notes(const std::vector<Entry>& entries, const Entry& e) {
    std::string s;
    const auto add = [&s](const std::string& note) {
        s += (s.empty() ? "" : kNoteSeparator) + note;
    };
    for (size_t bit = 0; bit < std::size(kFixedNotes); ++bit)
        if (e.fixed_notes >> bit & 1u)
            add(kFixedNotes[bit]);
    for (size_t i = 0; i < e.overlaps_named_count; ++i)
        add("overlaps " + escape_name(entries[e.overlaps_named[i]].name));
    if (e.overlaps_unnamed > 0)
        add("overlaps " + std::to_string(e.overlaps_unnamed) + " more file" +
            (e.overlaps_unnamed == 1 ? "" : "s"));
    if (e.records_lost == 1)
        add("1 record lost");
    else if (e.records_lost > 1)
        add(std::to_string(e.records_lost) + " records lost");
    return s;
}

std::string escape_name(const std::string& raw) {
    std::string s;
    for (size_t i = 0; i < raw.size(); ++i) {
        const auto b = static_cast<unsigned char>(raw[i]);
        if (b < kFirstShown || b > kLastShown || escape_at(raw, i)) {
            char text[8];
            std::snprintf(text, sizeof text, "\\x%02X", b);
            s += text;
        } else {
            s += raw[i];
        }
    }
    return s;
}

bool unescape_name(const std::string& typed, std::string& raw) {
    raw.clear();
    for (size_t i = 0; i < typed.size(); ++i) {
        const auto b = static_cast<unsigned char>(typed[i]);
        if (b < kFirstShown || b > kLastShown)
            return false;
        if (escape_at(typed, i)) {
            raw += static_cast<char>(hex_value(typed[i + 2]) << 4 | hex_value(typed[i + 3]));
            i += 3;
        } else {
            raw += typed[i];
        }
    }
    return true;
}

std::string listing_text(const Volume& v) {
    return text_of(write_listing, v);
}

std::string tsv_text(const Volume& v) {
    return text_of(write_tsv, v);
}

void print_listing(const Volume& volume, FILE* out) {
    print_with(write_listing, volume, out);
}

void print_tsv(const Volume& volume, FILE* out) {
    print_with(write_tsv, volume, out);
}

} // namespace hpfiles
