// imgconv: floppy sector dump to HP 9845 disk image.
#include "imgconv/imgconv.h"

int main(int argc, char* argv[]) {
    return imgconv::run_imgconv(argc, argv, stdout, stderr);
}
