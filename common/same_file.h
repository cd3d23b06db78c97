// Whether two file names lead to one file: the check that keeps a program from truncating its own
// input.
#pragma once

#include <cstdio>

namespace common {

// True when both names can be looked up and lead to the same file (same
// device and file number, however the names are spelled and through any
// hard or symbolic link), so that opening one for writing would truncate
// the other. Names are taken as the C library's fopen takes them.
bool same_file(const char* a, const char* b);

// True when the names lead to one file as same_file tells it, or, where
// either cannot be looked up yet (a link to a file still to be created), to
// one path once every link on the way is followed.
bool same_place(const char* a, const char* b);

// The check every program makes before it creates an output: true, after
// "Output file "<output>" is the <role> "<other>"; it is not overwritten."
// on `err`, when `output` leads to the same place as `other`. `role` names
// what `other` is to the run ("input file", "control file", "output file").
bool output_is_same_file(const char* output, const char* other, const char* role, FILE* err);

} // namespace common
