// TeleDisk's CRC of every check in the file and the two decoders of advanced mode.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace imgconv {

// The CRC-16 that guards a TeleDisk file's header, comment, track headers and
// sectors: polynomial 0xA097, MSB first, no final inversion. `crc` carries a
// running value over several pieces; the header and the sectors start from 0.
// CRC("123456789") = 0x0FB3.
uint16_t tele_disk_crc(const unsigned char* data, size_t length, uint16_t crc = 0);

// A decoded stream grows to at most this many bytes: more than any floppy
// disk's capture holds, so a real capture reaches its end marker well before,
// while a hostile file cannot make memory grow without bound.
constexpr size_t kMaxDecodedStreamBytes = size_t{32} << 20;

// What a decoder made of an advanced file's compressed bytes (those after the
// header). `bytes` is the stream decoded so far; when decoding stopped before
// the end of the input, `stop_reason` says why (a code that cannot be
// decoded, or the limit above) and `stop_offset` where, counted in bytes of
// the compressed input. Such a stop only matters to a capture whose end
// marker has not been met in `bytes`: what follows the marker is never read.
struct DecodedStream {
    std::vector<unsigned char> bytes;
    std::string stop_reason;
    uint64_t stop_offset = 0;
};

// Advanced mode of TeleDisk 2.x (version 20 and up): one LZSS stream with an
// adaptive Huffman code, bits most significant first. It has no end code:
// decoding runs until the input is used up, and zero bits past the end only
// finish the symbol in progress.
DecodedStream decode_lzhuf(const unsigned char* data, size_t length,
                           size_t limit = kMaxDecodedStreamBytes);

// Advanced mode of TeleDisk 1.x (below version 20): blocks of 12-bit LZW codes,
// each block with a fresh table. A block cut by the end of the input yields
// the codes it holds (a code cut in half finished with zero bits). A code
// beyond the table stops decoding.
DecodedStream decode_old_lzw(const unsigned char* data, size_t length,
                             size_t limit = kMaxDecodedStreamBytes);

} // namespace imgconv
