// Makes rom_example.bin: a small combined ROM image with sound, corrupt and blank 4096-word blocks.
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr size_t kBlockWords = 4096;  // words per ROM block
constexpr uint32_t kAllOnes = 0xFFFF; // the ones' complement sum of a sound block
constexpr uint32_t kWordMask = 0xFFFF;

// A fixed linear congruential sequence, so every run writes the same bytes.
struct Sequence {
    uint32_t state;
    uint32_t next_word() {
        state = state * 1664525u + 1013904223u;
        return (state >> 12) & kWordMask;
    }
};

// Ones' complement (end-around carry) sum of words.
uint32_t ones_complement_sum(const std::vector<uint32_t>& words) {
    uint32_t sum = 0;
    for (uint32_t w : words) {
        sum += w;
        if (sum > kWordMask)
            sum = (sum & kWordMask) + 1;
    }
    return sum;
}

// Plain sum modulo 65536 of words.
uint32_t plain_sum(const std::vector<uint32_t>& words) {
    uint32_t sum = 0;
    for (uint32_t w : words)
        sum = (sum + w) & kWordMask;
    return sum;
}

// A block of arbitrary words whose last word makes the block's sum all ones:
// summed with end-around carry, or, for a plain block, modulo 65536.
std::vector<uint32_t> sound_block(uint32_t seed, bool plain = false) {
    Sequence seq{seed};
    std::vector<uint32_t> words(kBlockWords);
    for (size_t j = 0; j + 1 < kBlockWords; ++j)
        words[j] = seq.next_word();
    words.back() = 0;
    if (plain)
        words.back() = (kAllOnes - plain_sum(words)) & kWordMask;
    else
        words.back() = kAllOnes - ones_complement_sum(words);
    return words;
}

void append_be16(std::string& out, const std::vector<uint32_t>& words) {
    for (uint32_t w : words) {
        out += static_cast<char>((w >> 8) & 0xFF);
        out += static_cast<char>(w & 0xFF);
    }
}

} // namespace

int main(int argc, char* argv[]) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: %s <output folder>\n", argv[0]);
        return 1;
    }
    std::string image;
    append_be16(image, sound_block(9845)); // block 0: sound
    append_be16(image, sound_block(1977)); // block 1: sound
    std::vector<uint32_t> damaged = sound_block(4711);
    damaged[1234] ^= 0x0040; // block 2: one bit flipped, corrupt
    append_be16(image, damaged);
    append_be16(image, std::vector<uint32_t>(kBlockWords, 0)); // block 3: blank socket
    append_be16(image, sound_block(1024, true));               // block 4: sound when summed plainly

    const std::string path = std::string(argv[1]) + "/rom_example.bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "Could not create file \"%s\".\n", path.c_str());
        return 1;
    }
    const bool written = std::fwrite(image.data(), 1, image.size(), f) == image.size();
    if (std::fclose(f) != 0 || !written) {
        std::fprintf(stderr, "Write error on file \"%s\"\n", path.c_str());
        return 1;
    }
    return 0;
}
