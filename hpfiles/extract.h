// get: the file names, each file's bytes, the warnings about its damage and the checked writes.
#pragma once

#include "hpfiles/disk.h"
#include "hpfiles/volume.h"

#include "common/report.h"

#include <cstdint>
#include <cstdio>
#include <map>
#include <set>
#include <string>
#include <vector>

namespace hpfiles {

// `text` with every byte outside 0x21..0x7E and every one of / \ : * ? " < > |
// replaced by '_', so that it is one plain file name on every system.
std::string file_name_part(const std::string& text);

// The file names one run writes: NAME.TYPE, and a name the run has written
// already (compared without regard to case) gets .2, .3, ... before the type.
// An empty NAME is written "_", and a NAME whose part before the first dot is
// a Windows device name (CON, PRN, AUX, NUL, COM0-9, LPT0-9) gets a '_' after
// that part.
class OutputNames {
  public:
    // The next free name for an entry named `name` of type `type` (both raw).
    std::string claim(const std::string& name, const std::string& type);

  private:
    std::set<std::string> taken_; // lower case
    // For each name and type (lower case, joined by '/'): the number to try next, so that
    // many entries of one name do not try every number again.
    std::map<std::string, unsigned long> next_;
};

// Where a file's bytes lie in the image and how much of it is missing.
struct FileExtent {
    uint64_t offset = 0;          // first byte in the image
    uint64_t bytes = 0;           // whole records that exist x 256
    uint64_t records = 0;         // records that exist
    uint64_t records_missing = 0; // records past the end of the disk
};

// The records of `entry` that `image_bytes` bytes of image hold, from its first.
FileExtent file_extent(const Entry& entry, uint64_t image_bytes);

// Prints the warnings about one file's records: past the end of the disk,
// starting in the label, directory or system area, past the data area, and
// each disk record of it that a capture did not give whole. `shown` is the
// name as a listing shows it.
void warn_file_damage(const Entry& entry, const std::string& shown, const FileExtent& extent,
                      const Disk& disk, const common::Reporter& report);

// For each disk record r, how many records before it a capture filled with
// zeros (one more element than the disk has records): counted once, so that
// each file's count is one subtraction however many files share the records.
std::vector<uint64_t> lost_before(const Disk& disk);

// Records of the file (those that exist) that a capture filled with zeros;
// `lost` as lost_before gives it.
uint64_t records_lost(const FileExtent& extent, const std::vector<uint64_t>& lost);

enum class NameMatch { one, none, several };

// Finds the entry named `raw` (name bytes; trailing `pad` bytes, the file
// system's padding, do not count): among the live entries first and, `with_purged`, then among the
// purged ones. `index` is set when exactly one entry of the first group that
// has any matches.
NameMatch match_name(const std::vector<Entry>& entries, const std::string& raw, char pad,
                     bool with_purged, size_t& index);

// What one get writes: the entries chosen (indexes into volume.entries, in
// order), the folder, and the disk's file name (never written to).
struct ExtractJob {
    const Volume* volume = nullptr;
    const Disk* disk = nullptr;
    std::vector<size_t> entries;
    const char* folder = nullptr; // null: the current folder
    const char* disk_path = nullptr;
    FILE* out = nullptr; // one line per file written
};

// Writes each chosen file through a checked output file, with its damage
// warnings, and prints its line on job.out. Stops at the first file that
// cannot be written. Returns 0, or -1 after a failure, its message printed.
int extract_files(const ExtractJob& job, const common::Reporter& report);

} // namespace hpfiles
