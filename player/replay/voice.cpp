// Putting a table of voices to rest.
#include "player/replay/voice.h"

#include <cstring>

namespace korvanti {

void voices_reset(Voice* voice_table) {
    std::memset(static_cast<void*>(voice_table), 0, sizeof(Voice) * VOICE_COUNT);
    for (int32_t i = 0; i < VOICE_COUNT; ++i) {
        voice_table[i].index = i;
        voice_table[i].step_int = 1;
    }
}

}  // namespace korvanti
