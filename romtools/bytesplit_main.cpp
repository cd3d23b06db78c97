// bytesplit: HP 9845 ROM word file to complemented high-byte and low-byte files.
#include "bytesplit.h"

int main(int argc, char* argv[]) {
    return run_bytesplit(argc, argv, stdout, stderr);
}
