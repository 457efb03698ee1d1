// The music of the web page. A page has one thread, so there is no feeder:
// an offline player renders the song block by block whenever the page's
// loop comes by, and each block goes to the page's sound (an AudioWorklet
// that plays the blocks in turn). The blocks are rendered up to a ring's
// length (100 blocks, two seconds) ahead of the block heard, as the
// desktop's feeder keeps its ring, so the player still holds the snapshot of
// every block between the one heard and the last one rendered.
#include "app/music_web.h"

#include <cstdio>
#include <cstring>

#include "korvanti/player.h"

// The page's sound (platform/web/library.js).
extern "C" {
// Queues `count` stereo frames to be played after those queued before.
void korvanti_audio_push(const int16_t* frames, int32_t count);
// Song frames heard so far by the audio clock; negative before the first.
double korvanti_audio_heard();
void korvanti_audio_stop();
}

namespace {

constexpr int32_t MIXING_RATE = 44100;
constexpr int64_t RING_BLOCKS = 100;
constexpr int32_t MAX_BLOCK_FRAMES = 2048;  // a block is 884 frames at 44100 Hz
constexpr size_t FAILURE_LENGTH = 512;

struct WebMusic {
    korvanti_player* player;  // offline; null when it could not be made
    korvanti_song* song;      // null when none was loaded
    int32_t block_frames;     // frames per block
    int64_t blocks_rendered;  // blocks handed to the page's sound
    bool playing;             // between web_music_play and web_music_shutdown
    bool play_ended;          // the player gave its last frame (only with an end)
    int16_t block[MAX_BLOCK_FRAMES * 2];
    char failure[FAILURE_LENGTH];
};

WebMusic music = {};

void report(const char* line) {
    std::printf("%s", line);
    std::fflush(stdout);
    size_t used = std::strlen(music.failure);
    std::snprintf(music.failure + used, FAILURE_LENGTH - used, "%s", line);
}

// The block heard now, counted from the song's start; 0 before the first.
int64_t heard_block() {
    double heard = korvanti_audio_heard();
    if (heard < 0.0 || music.block_frames <= 0) return 0;
    return static_cast<int64_t>(heard) / music.block_frames;
}

void render_next_block() {
    int64_t frames = korvanti_player_render(music.player, music.block, music.block_frames);
    if (frames > 0) korvanti_audio_push(music.block, static_cast<int32_t>(frames));
    if (frames < music.block_frames) music.play_ended = true;
    music.blocks_rendered += 1;
}

// The snapshot of the block heard; false when there is none.
bool audible_snapshot(korvanti_sync_snapshot* snapshot) {
    if (!music.playing) return false;
    int64_t block = heard_block();
    if (block >= music.blocks_rendered) block = music.blocks_rendered - 1;
    return korvanti_player_get_snapshot(music.player, block, snapshot) == KORVANTI_OK;
}

}  // namespace

void web_music_init(const char* file_name) {
    music = WebMusic{};
    music.player = korvanti_player_create(MIXING_RATE, nullptr);
    music.block_frames = korvanti_player_block_frames(music.player);
    if (music.player == nullptr || music.block_frames > MAX_BLOCK_FRAMES) {
        korvanti_player_destroy(music.player);
        music.player = nullptr;
        report("Error upon initialization\n");
    }
    music.song = korvanti_song_load_file(file_name, nullptr);
    if (music.song == nullptr) report("Error loading song\n");
}

bool web_music_play() {
    if (music.player == nullptr || music.song == nullptr) return false;
    // The demo ends itself at order 8; the music never stops before.
    korvanti_player_set_passes(music.player, 0);
    if (korvanti_player_start(music.player, music.song) != KORVANTI_OK) return false;
    music.playing = true;
    music.blocks_rendered = 0;
    web_music_feed();
    return true;
}

void web_music_feed() {
    if (!music.playing) return;
    int64_t last = heard_block() + RING_BLOCKS;
    while (music.blocks_rendered < last && !music.play_ended) render_next_block();
}

bool web_music_heard() { return music.playing && korvanti_audio_heard() >= 0.0; }

double web_music_heard_frames() { return music.playing ? korvanti_audio_heard() : -1.0; }

void web_music_shutdown() {
    if (music.playing) korvanti_audio_stop();
    music.playing = false;
    korvanti_player_destroy(music.player);
    music.player = nullptr;
    korvanti_song_free(music.song);
    music.song = nullptr;
}

int32_t web_music_order() {
    korvanti_sync_snapshot snapshot = {};
    return audible_snapshot(&snapshot) ? snapshot.order : 0;
}

int32_t web_music_row() {
    korvanti_sync_snapshot snapshot = {};
    return audible_snapshot(&snapshot) ? snapshot.row : 0;
}

int32_t web_music_channel_values(int32_t* out) {
    korvanti_sync_snapshot snapshot = {};
    if (!audible_snapshot(&snapshot)) return 0;
    for (int32_t i = 0; i < 32; ++i) out[i] = snapshot.channel_notes[i];
    return 0;
}

const char* web_music_failure() { return music.failure; }
