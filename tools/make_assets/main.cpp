// make_assets OUT_DIR: writes the demo's music and pictures into OUT_DIR.
#include <cstdio>

#include "tools/make_assets/assets.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_assets OUT_DIR\n");
        return 2;
    }
    return write_assets(argv[1]) ? 0 : 1;
}
