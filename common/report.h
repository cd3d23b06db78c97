// How every program of the kit tells the user what happened: warnings, failures, and the system's
// error numbers with their meaning.
#pragma once

#include <cstdio>
#include <string>

#if defined(__GNUC__)
#define HPKIT_PRINTF(format_index, first_arg)                                                      \
    __attribute__((format(printf, format_index, first_arg)))
#else
#define HPKIT_PRINTF(format_index, first_arg)
#endif

namespace common {

// How the messages name standard output when a write to it fails.
constexpr const char* kStdoutName = "<stdout>";

// A system error number as the messages show it: "#28 (No space left on
// device)". Without a description of its own (0, or a number the system does
// not know) only "#<n>".
std::string error_number_text(int error);

// The printf-formatted text as one string (messages gathered before they
// are printed).
std::string format_message(const char* format, ...) HPKIT_PRINTF(1, 2);

// The two streams a program reports on and the forms of its messages. Each
// program says once where its warnings go (imgconv, blocksum, bytesplit:
// standard output, beside their results; hpfiles: standard error, so that
// its listings stay clean) and where its failures go.
class Reporter {
  public:
    Reporter(FILE* warnings, FILE* errors) : warnings_(warnings), errors_(errors) {}

    FILE* warnings() const { return warnings_; }
    FILE* errors() const { return errors_; }

    // "Warning: " and the formatted text, on the warnings stream. The text
    // brings its own line end.
    void warning(const char* format, ...) const HPKIT_PRINTF(2, 3);
    // The formatted text, on the errors stream.
    void error(const char* format, ...) const HPKIT_PRINTF(2, 3);

    // "Read error on file "<name>" #<n> (<meaning>)".
    void read_error(const char* name, int error) const;
    // "Write error on file "<name>" #<n> (<meaning>)".
    void write_error(const char* name, int error) const;

    // Flushes the warnings stream and checks that everything printed on it
    // got through; false, after a write error naming it as `stream_name`,
    // when some of it was lost. A run whose warnings name lost data calls
    // this before it puts its output in place.
    bool warnings_delivered(const char* stream_name) const;

  private:
    FILE* warnings_;
    FILE* errors_;
};

} // namespace common
