// Live play in a build without a sound device: only offline rendering works.
#include <cstdio>

#include "tools/xmplay/xmplay.h"

int play_live(const XmplayOptions&) {
    std::fprintf(stderr, "xmplay: this build has no sound output; render with --wav, --raw or --snapshots\n");
    return EXIT_FAILED;
}
