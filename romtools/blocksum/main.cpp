// blocksum: block checksums and verdicts of a combined HP 9845 ROM image.
#include "romtools/blocksum/blocksum.h"

int main(int argc, char* argv[]) {
    return romtools::run_blocksum(argc, argv, stdout, stderr);
}
