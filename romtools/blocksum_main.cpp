// blocksum: block checksums and verdicts of a combined HP 9845 ROM image.
#include "blocksum.h"

int main(int argc, char* argv[]) {
    return run_blocksum(argc, argv, stdout, stderr);
}
