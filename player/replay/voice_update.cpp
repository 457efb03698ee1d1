// STUB: to be replaced.
#include "player/replay/voice_update.h"
#include "player/replay/channel.h"
#include "player/module/song.h"
int32_t linear_period(int32_t, int32_t) { return 0; }
int32_t amiga_period(int32_t, int32_t) { return 0; }
EnvelopeState volume_envelope_state(Channel*) { return {}; }
EnvelopeState panning_envelope_state(Channel*) { return {}; }
EnvelopeShape volume_envelope_shape(const Instrument*) { return {}; }
EnvelopeShape panning_envelope_shape(const Instrument*) { return {}; }
void envelope_step(Channel*, EnvelopeState, EnvelopeShape, uint8_t) {}
void channel_step_envelopes(Channel*, const Instrument*) {}
void fadeout_step(Channel*, const Instrument*) {}
void auto_vibrato(Channel*, const Instrument*) {}
void update_voice(Channel*, Sample*, Song*) {}
