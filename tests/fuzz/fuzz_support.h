// Scratch files and argument lists for driving whole program runs from fuzz inputs.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>
#include <vector>

namespace fuzz {

// A folder of this fuzzing process for the inputs and outputs of one run.
inline const std::string& scratch_dir() {
    static const std::string dir = [] {
        std::string d = std::string(access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") +
                        "/hpkit-fuzz-" + std::to_string(getpid());
        std::string cmd = "mkdir -p " + d;
        if (std::system(cmd.c_str()) != 0)
            std::abort();
        return d;
    }();
    return dir;
}

inline std::string scratch_path(const char* name) {
    return scratch_dir() + "/" + name;
}

inline void write_file(const std::string& path, const uint8_t* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        std::abort();
    if (size && std::fwrite(data, 1, size, f) != size)
        std::abort();
    if (std::fclose(f) != 0)
        std::abort();
}

// Takes bytes off the front of the fuzz input; past its end every value is 0.
class Reader {
  public:
    Reader(const uint8_t* data, size_t size) : p_(data), end_(data + size) {}
    uint8_t byte() { return p_ < end_ ? *p_++ : 0; }
    uint32_t u32() {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v = (v << 8) | byte();
        return v;
    }
    // The next `n` bytes, or what is left.
    std::string take(size_t n) {
        size_t k = static_cast<size_t>(end_ - p_) < n ? static_cast<size_t>(end_ - p_) : n;
        std::string s(reinterpret_cast<const char*>(p_), k);
        p_ += k;
        return s;
    }
    std::string rest() { return take(static_cast<size_t>(end_ - p_)); }

  private:
    const uint8_t* p_;
    const uint8_t* end_;
};

// An argv that owns its strings.
class Args {
  public:
    void add(std::string s) { words_.push_back(std::move(s)); }
    char** argv() {
        ptrs_.clear();
        for (auto& w : words_)
            ptrs_.push_back(w.data());
        ptrs_.push_back(nullptr);
        return ptrs_.data();
    }
    int argc() const { return static_cast<int>(words_.size()); }

  private:
    std::vector<std::string> words_;
    std::vector<char*> ptrs_;
};

// Where a run's console output goes: nowhere.
inline FILE* null_stream() {
    static FILE* f = std::fopen("/dev/null", "w");
    return f;
}

} // namespace fuzz
