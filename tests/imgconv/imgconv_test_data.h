// Small inputs for the imgconv end-to-end tests: LIF volumes and fixed messages.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>

namespace testdata {

inline const std::string kNoLif =
    "Warning: no LIF file\n"
    "Unable to perform auto-detection of media parameters (using defaults)\n";
inline const std::string kNoGuess = "Warning: could not guess interleave. setting interleave=2.\n";

// The linear conversion's closing warning for `bytes` at the end of the dump
// that it never read; none for 0.
inline std::string unread_tail(uint64_t bytes) {
    return bytes == 0 ? std::string()
                      : "Warning: the last " + std::to_string(bytes) +
                            " bytes of the input were not read; check -j, -cskip, -hskip and the "
                            "geometry.\n";
}

// A system error number as the messages show it: "#28 (No space left on device)".
inline std::string error_number(int error) {
    return "#" + std::to_string(error) + " (" + std::strerror(error) + ")";
}

inline void put_be32(std::string& s, size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        s[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

// Records of `rec_size` bytes, each filled with a text naming its record number.
inline std::string numbered_records(uint32_t count, uint32_t rec_size) {
    std::string image;
    for (uint32_t r = 0; r < count; ++r) {
        std::string rec;
        while (rec.size() < rec_size)
            rec += "<record " + std::to_string(r) + ">";
        image += rec.substr(0, rec_size);
    }
    return image;
}

// An HP image of a LIF volume: header with directory and geometry in record
// 0, the first directory record at `dirstart` naming `dirstart + dirsize` as
// the first file's start.
inline std::string lif_image(uint32_t cylinders, uint32_t heads, uint32_t sectors,
                             uint32_t rec_size, uint32_t dirstart, uint32_t dirsize) {
    std::string image = numbered_records(cylinders * heads * sectors, rec_size);
    image[0] = '\x80';
    image[1] = '\x00';
    put_be32(image, 8, dirstart);
    put_be32(image, 16, dirsize);
    put_be32(image, 24, cylinders);
    put_be32(image, 28, heads);
    put_be32(image, 32, sectors);
    put_be32(image, size_t(dirstart) * rec_size + 12, dirstart + dirsize);
    return image;
}

} // namespace testdata
