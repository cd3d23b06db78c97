// The CRC of TeleDisk files and the decoders of their two advanced (compressed) modes.
#include "imgconv/capture/tele_disk_decode.h"

#include <array>

namespace imgconv {

namespace {

constexpr uint16_t kCrcPolynomial = 0xA097;

// The CRC of each single byte, shifted through the polynomial bit by bit,
// most significant first.
struct CrcTable {
    std::array<uint16_t, 256> entry{};
    CrcTable() {
        for (unsigned b = 0; b < 256; ++b) {
            uint16_t crc = static_cast<uint16_t>(b << 8);
            for (int bit = 0; bit < 8; ++bit)
                crc =
                    static_cast<uint16_t>((crc & 0x8000) ? (crc << 1) ^ kCrcPolynomial : crc << 1);
            entry[b] = crc;
        }
    }
};

// ---- LZHUF (TeleDisk 2.x) ----

constexpr unsigned kRingBytes = 4096;     // the window a copy refers back into
constexpr unsigned kLookaheadBytes = 60;  // the longest copy
constexpr unsigned kMinCopyBytes = 3;     // the shortest copy
constexpr unsigned kLiteralSymbols = 256; // symbols 0..255 are bytes
constexpr unsigned kSymbols = kLiteralSymbols + kLookaheadBytes - kMinCopyBytes + 1; // 314
constexpr unsigned kNodes = 2 * kSymbols - 1; // the Huffman tree, leaves and inner nodes
constexpr unsigned kRoot = kNodes - 1;
constexpr uint16_t kMaxRootFreq = 0x8000; // at this count the tree is rebuilt with halved counts
constexpr uint8_t kFillByte = 0x20;       // the window starts filled with spaces

// Bits of a byte array, most significant first; past its end, zero bits.
class BitReader {
  public:
    BitReader(const unsigned char* data, size_t length) : data_(data), length_(length) {}
    unsigned bit() {
        unsigned b = 0;
        if (pos_ / 8 < length_)
            b = (data_[pos_ / 8] >> (7 - pos_ % 8)) & 1u;
        ++pos_;
        return b;
    }
    unsigned byte() {
        unsigned v = 0;
        for (int i = 0; i < 8; ++i)
            v = (v << 1) | bit();
        return v;
    }
    bool exhausted() const { return pos_ / 8 >= length_; }
    uint64_t byte_offset() const { return pos_ / 8; }

  private:
    const unsigned char* data_;
    size_t length_;
    uint64_t pos_ = 0; // in bits
};

// The upper six bits of a copy's distance and the length of the prefix that
// codes them, indexed by the first eight bits read: groups of (values, prefix
// bits) = (1, 3) (3, 4) (8, 5) (12, 6) (24, 7) (16, 8).
struct DistanceTables {
    std::array<uint8_t, 256> high{};
    std::array<uint8_t, 256> bits{};
    DistanceTables() {
        constexpr unsigned kGroups[][2] = {{1, 3}, {3, 4}, {8, 5}, {12, 6}, {24, 7}, {16, 8}};
        unsigned b = 0, value = 0;
        for (const auto& g : kGroups) {
            for (unsigned v = 0; v < g[0]; ++v, ++value) {
                for (unsigned k = 0; k < (1u << (8 - g[1])); ++k, ++b) {
                    high[b] = static_cast<uint8_t>(value);
                    bits[b] = static_cast<uint8_t>(g[1]);
                }
            }
        }
    }
};

// The adaptive Huffman code: nodes 0..kNodes-1 kept in order of
// non-decreasing count; son[p] >= kNodes marks the leaf of symbol
// son[p] - kNodes, otherwise p's children sit at son[p] and son[p] + 1.
class AdaptiveTree {
  public:
    AdaptiveTree() {
        for (unsigned i = 0; i < kSymbols; ++i) {
            freq_[i] = 1;
            son_[i] = static_cast<uint16_t>(i + kNodes);
            parent_[i + kNodes] = static_cast<uint16_t>(i);
        }
        for (unsigned i = 0, j = kSymbols; j <= kRoot; i += 2, ++j) {
            freq_[j] = static_cast<uint16_t>(freq_[i] + freq_[i + 1]);
            son_[j] = static_cast<uint16_t>(i);
            parent_[i] = parent_[i + 1] = static_cast<uint16_t>(j);
        }
        freq_[kNodes] = 0xFFFF; // sentinel: no count ever passes it
        parent_[kRoot] = 0;
    }

    unsigned decode(BitReader& in) {
        unsigned c = son_[kRoot];
        while (c < kNodes)
            c = son_[c + in.bit()];
        const unsigned symbol = c - kNodes;
        update(symbol);
        return symbol;
    }

  private:
    void update(unsigned symbol) {
        if (freq_[kRoot] == kMaxRootFreq)
            rebuild();
        unsigned c = parent_[symbol + kNodes];
        do {
            const unsigned k = ++freq_[c];
            if (k > freq_[c + 1]) {
                // Move the node past every node of a smaller count.
                unsigned l = c + 1;
                while (k > freq_[l + 1])
                    ++l;
                freq_[c] = freq_[l];
                freq_[l] = static_cast<uint16_t>(k);
                const unsigned i = son_[c];
                parent_[i] = static_cast<uint16_t>(l);
                if (i < kNodes)
                    parent_[i + 1] = static_cast<uint16_t>(l);
                const unsigned j = son_[l];
                son_[l] = static_cast<uint16_t>(i);
                parent_[j] = static_cast<uint16_t>(c);
                if (j < kNodes)
                    parent_[j + 1] = static_cast<uint16_t>(c);
                son_[c] = static_cast<uint16_t>(j);
                c = l;
            }
            c = parent_[c];
        } while (c != 0);
    }

    // Halves every leaf's count and builds the tree again from the leaves.
    void rebuild() {
        unsigned j = 0;
        for (unsigned i = 0; i < kNodes; ++i) {
            if (son_[i] >= kNodes) {
                freq_[j] = static_cast<uint16_t>((freq_[i] + 1) / 2);
                son_[j] = son_[i];
                ++j;
            }
        }
        for (unsigned i = 0, n = kSymbols; n < kNodes; i += 2, ++n) {
            const uint16_t f = static_cast<uint16_t>(freq_[i] + freq_[i + 1]);
            unsigned k = n - 1;
            while (f < freq_[k])
                --k;
            ++k; // after the nodes of an equal count
            for (unsigned m = n; m > k; --m) {
                freq_[m] = freq_[m - 1];
                son_[m] = son_[m - 1];
            }
            freq_[k] = f;
            son_[k] = static_cast<uint16_t>(i);
        }
        for (unsigned i = 0; i < kNodes; ++i) {
            const unsigned k = son_[i];
            if (k >= kNodes)
                parent_[k] = static_cast<uint16_t>(i);
            else
                parent_[k] = parent_[k + 1] = static_cast<uint16_t>(i);
        }
    }

    std::array<uint16_t, kNodes + 1> freq_{};
    std::array<uint16_t, kNodes> son_{};
    std::array<uint16_t, kNodes + kSymbols> parent_{};
};

std::string limit_reason(size_t limit) {
    return "decoded stream grows past " + std::to_string(limit >> 20) + " MiB";
}

// ---- old LZW (TeleDisk 1.x) ----

constexpr unsigned kLzwTableEntries = 4096; // 12-bit codes
constexpr unsigned kLzwFirstFreeCode = 256; // codes below are single bytes
constexpr size_t kLzwBlockHeaderBytes = 2;
constexpr unsigned kNibblesPerCode = 3;

} // namespace

uint16_t tele_disk_crc(const unsigned char* data, size_t length, uint16_t crc) {
    static const CrcTable table;
    for (size_t i = 0; i < length; ++i)
        crc = static_cast<uint16_t>(table.entry[(crc >> 8) ^ data[i]] ^ (crc << 8));
    return crc;
}

DecodedStream decode_lzhuf(const unsigned char* data, size_t length, size_t limit) {
    static const DistanceTables distance;
    DecodedStream out;
    BitReader in(data, length);
    AdaptiveTree tree;
    std::array<unsigned char, kRingBytes> ring;
    ring.fill(kFillByte);
    unsigned r = kRingBytes - kLookaheadBytes;
    // A symbol begun inside the input is finished with zero bits; none is
    // begun after it.
    while (!in.exhausted()) {
        if (out.bytes.size() >= limit) {
            out.stop_reason = limit_reason(limit);
            out.stop_offset = in.byte_offset();
            break;
        }
        const unsigned s = tree.decode(in);
        if (s < kLiteralSymbols) {
            out.bytes.push_back(static_cast<unsigned char>(s));
            ring[r] = static_cast<unsigned char>(s);
            r = (r + 1) % kRingBytes;
            continue;
        }
        unsigned b = in.byte();
        const unsigned high = distance.high[b];
        const unsigned prefix_bits = distance.bits[b];
        // The low six bits follow the prefix: 1 to 6 more bits to read.
        for (unsigned k = 2; k < prefix_bits; ++k)
            b = (b << 1) | in.bit();
        const unsigned back = (high << 6) | (b & 0x3F);
        const unsigned count = s - kLiteralSymbols + kMinCopyBytes;
        unsigned src = (r - back - 1) % kRingBytes;
        // Byte by byte: the copy may overlap the bytes it produces.
        for (unsigned k = 0; k < count; ++k) {
            const unsigned char v = ring[src];
            src = (src + 1) % kRingBytes;
            out.bytes.push_back(v);
            ring[r] = v;
            r = (r + 1) % kRingBytes;
        }
    }
    return out;
}

DecodedStream decode_old_lzw(const unsigned char* data, size_t length, size_t limit) {
    DecodedStream out;
    // Each entry is a string: the entry it extends and its last byte.
    std::array<uint16_t, kLzwTableEntries> prefix{};
    std::array<unsigned char, kLzwTableEntries> last{};
    std::array<unsigned char, kLzwTableEntries> first{}; // first byte of the string
    std::array<unsigned char, kLzwTableEntries + 1> scratch{};
    for (unsigned c = 0; c < kLzwFirstFreeCode; ++c)
        last[c] = first[c] = static_cast<unsigned char>(c);
    // Appends the string of `code` (< next), built backwards.
    auto emit = [&](unsigned code) {
        size_t n = 0;
        while (code >= kLzwFirstFreeCode) {
            scratch[n++] = last[code];
            code = prefix[code];
        }
        scratch[n++] = static_cast<unsigned char>(code);
        while (n > 0)
            out.bytes.push_back(scratch[--n]);
    };
    auto stop = [&](std::string reason, uint64_t offset) {
        out.stop_reason = std::move(reason);
        out.stop_offset = offset;
        return out;
    };

    size_t pos = 0;
    while (pos + kLzwBlockHeaderBytes <= length) {
        const size_t block = pos;
        const unsigned nibbles = data[pos] | (data[pos + 1] << 8);
        pos += kLzwBlockHeaderBytes;
        if (nibbles % kNibblesPerCode != 0)
            return stop("compressed block length " + std::to_string(nibbles) +
                            " is not a whole number of codes",
                        block);
        const size_t codes = nibbles / kNibblesPerCode;
        const size_t block_end = pos + (nibbles + 1) / 2;
        const size_t end = block_end < length ? block_end : length;
        auto byte_at = [&](size_t i) -> unsigned { return i < end ? data[i] : 0; };
        unsigned next = kLzwFirstFreeCode;
        unsigned previous = 0;
        size_t p = pos; // the pair of codes in progress
        for (size_t i = 0; i < codes; ++i) {
            // Codes pair up in 3 bytes: the first takes byte 0 and the low
            // half of byte 1, the second the high half of byte 1 and byte 2.
            const bool second = i % 2 == 1;
            const size_t at = second ? p + 1 : p;
            if (at >= end)
                break; // not a bit of this code is in the input
            const unsigned code = second ? (byte_at(p + 1) >> 4) | (byte_at(p + 2) << 4)
                                         : byte_at(p) | ((byte_at(p + 1) & 0x0F) << 8);
            if (second)
                p += 3;
            if (out.bytes.size() >= limit)
                return stop(limit_reason(limit), at);
            if (i == 0) {
                if (code >= kLzwFirstFreeCode)
                    return stop("LZW code " + std::to_string(code) +
                                    " is out of range at the start of a block",
                                at);
                out.bytes.push_back(static_cast<unsigned char>(code));
                previous = code;
                continue;
            }
            if (code > next)
                return stop("LZW code " + std::to_string(code) +
                                " is out of range (next free code " + std::to_string(next) + ")",
                            at);
            // A code just being defined is the previous string and its own first byte.
            const unsigned char head = code < next ? first[code] : first[previous];
            emit(code < next ? code : previous);
            if (code == next)
                out.bytes.push_back(head);
            if (next < kLzwTableEntries) {
                prefix[next] = static_cast<uint16_t>(previous);
                last[next] = head;
                first[next] = first[previous];
                ++next;
            }
            previous = code;
        }
        pos = block_end;
    }
    return out;
}

} // namespace imgconv
