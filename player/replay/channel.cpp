// STUB: to be replaced.
#include "player/replay/channel.h"
#include "player/module/song.h"
Channel channels[CHANNEL_COUNT];
ChannelSource channel_choose_sample(Channel*, Song*) { return {&empty_instrument, &empty_sample}; }
void reset_channel(Channel*, Sample*) {}
