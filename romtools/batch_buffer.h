// A buffer for a batch of blocks whose first byte lies on a cache line boundary.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace romtools {

// The system copies file data into and out of a buffer that starts on a
// 64-byte boundary several times faster than one that starts 16 bytes past
// it, as the heap's large blocks do; that copy is the largest part of both
// programs' time.
class BatchBuffer {
  public:
    explicit BatchBuffer(size_t size) : storage_(size + kAlignBytes) {
        const uintptr_t start = reinterpret_cast<uintptr_t>(storage_.data());
        data_ = storage_.data() + (kAlignBytes - start % kAlignBytes) % kAlignBytes;
        size_ = size;
    }
    unsigned char* data() { return data_; }
    const unsigned char* data() const { return data_; }
    size_t size() const { return size_; }

  private:
    static constexpr size_t kAlignBytes = 64; // one cache line
    std::vector<unsigned char> storage_;
    unsigned char* data_ = nullptr;
    size_t size_ = 0;
};

} // namespace romtools
