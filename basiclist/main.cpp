// basiclist: HP 9845 BASIC file to CR LF text.
#include "basiclist.h"

int main(int argc, char* argv[]) {
    return run_basiclist(argc, argv, stdout, stderr);
}
