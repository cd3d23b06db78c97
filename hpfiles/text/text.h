// The text forms of the files that hold text: 9845 DATA, LIF TEXT and HP-85/86/87 DATA.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace hpfiles {

// Each conversion reads `bytes` (the file's records as they lie on the disk)
// and nothing past them, sets `text` to CR LF lines with every character cut
// to 7 bits and control codes as blanks, and adds whole lines ("...\n") for
// standard error to `messages`. `shown_name` is the file's name as a listing
// shows it. False: the file was refused, the refusal is the last message and
// `text` is empty.

// A 9845 DATA file: its item stream in logical records of `record_bytes`
// bytes (words per record x 2), listed by basiclist's record scan. A record
// size below 4, odd or above 32766 bytes is replaced by 256 with a warning.
// Never refuses.
bool data9845_text(const std::vector<unsigned char>& bytes, uint32_t record_bytes,
                   const std::string& shown_name, std::string& text,
                   std::vector<std::string>& messages);

// A LIF TEXT file: one line per text record. Refused when a record's length
// runs past the file's end or no end record comes before it.
bool lif_text_text(const std::vector<unsigned char>& bytes, const std::string& shown_name,
                   std::string& text, std::vector<std::string>& messages);

// An HP-85/86/87 DATA file: one line per string, the pieces of a split string
// joined, in logical records of `record_bytes` bytes (0: 256, with a
// warning). Numbers are passed over and counted in one warning. Never refuses.
bool hp85_data_text(const std::vector<unsigned char>& bytes, uint32_t record_bytes,
                    const std::string& shown_name, std::string& text,
                    std::vector<std::string>& messages);

} // namespace hpfiles
