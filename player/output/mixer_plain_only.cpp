// Targets without the x86 loops (or a build that asks for the plain loops
// alone): mixer.cpp's plain set is all there is.
#include "player/output/mixer_loops.h"

namespace korvanti {

const MixLoops* target_mix_loops(MixLoop) { return nullptr; }

}  // namespace korvanti
