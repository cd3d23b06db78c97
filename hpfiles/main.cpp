// hpfiles: list, extract and read the files of an HP disk image or capture.
#include "hpfiles/run.h"

int main(int argc, char* argv[]) {
    return hpfiles::run_hpfiles(argc, argv, stdout, stderr);
}
