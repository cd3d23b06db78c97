// basiclist: HP 9845 BASIC file to CR LF text.
#include "basiclist/basiclist.h"

int main(int argc, char* argv[]) {
    return basiclist::run_basiclist(argc, argv, stdout, stderr);
}
