// A temporary stdio stream whose bytes a test can read back after an in-process run.
#pragma once

#include <cstdio>
#include <string>

class CapturedStream {
  public:
    CapturedStream() : f_(std::tmpfile()) {}
    ~CapturedStream() {
        if (f_)
            std::fclose(f_);
    }
    CapturedStream(const CapturedStream&) = delete;
    CapturedStream& operator=(const CapturedStream&) = delete;

    FILE* get() const { return f_; }

    // Everything written so far.
    std::string text() const {
        std::string s;
        if (!f_)
            return s;
        std::fflush(f_);
        long end = std::ftell(f_);
        std::rewind(f_);
        s.resize(end > 0 ? static_cast<size_t>(end) : 0);
        size_t got = std::fread(s.data(), 1, s.size(), f_);
        s.resize(got);
        std::fseek(f_, 0, SEEK_END);
        return s;
    }

  private:
    FILE* f_;
};
