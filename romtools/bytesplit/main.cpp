// bytesplit: HP 9845 ROM word file to complemented high-byte and low-byte files.
#include "romtools/bytesplit/bytesplit.h"

int main(int argc, char* argv[]) {
    return romtools::run_bytesplit(argc, argv, stdout, stderr);
}
