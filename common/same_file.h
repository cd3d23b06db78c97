// Whether two file names lead to one file: the check that keeps a program from truncating its own
// input.
#pragma once

// True when both names can be looked up and lead to the same file (same
// device and file number, however the names are spelled and through any
// hard or symbolic link), so that opening one for writing would truncate
// the other. Names are taken as the C library's fopen takes them.
bool same_file(const char* a, const char* b);
