// The fog fades against the music the demo plays: the scene sequencer's fog
// rule replayed frame by frame over the order and row heard at each frame,
// for frame periods around the main loop's 28 ms. Pure state, no GL.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "korvanti/player.h"
#include "scenes/scene_sequencer.h"
#include "support/song_from_bytes.h"
#include "tools/make_assets/composition.h"

namespace {

constexpr int32_t RATE = 44100;
constexpr int32_t END_ORDER = 8;
constexpr int32_t FADE_OUTS = 4;  // orders 0, 2, 4, 6

// Real machines pace the 28 ms frames within about 5 percent.
constexpr double SHORTEST_PERIOD_MS = 26.6;
constexpr double LONGEST_PERIOD_MS = 29.4;
constexpr double PERIOD_STEP_MS = 0.01;
constexpr int32_t PHASES = 8;  // first frame's offsets, spread over one period

// What GL may keep after a fade-out. A last step that lands a hair below zero
// is refused by GL, which keeps the value before it: below one step is all the
// 0.008 fades promise; the 0.01 fades, which clear what the same step built
// up in float32, must end next to nothing (0.01 still halves the far edge of
// the wave floor).
constexpr float GL_LEFT_LIMIT[FADE_OUTS] = {0.008f, 0.008f, 0.001f, 0.001f};

struct Heard {
    std::vector<korvanti_sync_snapshot> blocks;  // one per output block, into the end order
    int32_t frames_per_block = 0;
};

Heard render_heard_positions() {
    Heard heard;
    SongPtr song(load_song_from_module(compose_music()));
    PlayerPtr player = offline_player(RATE);
    if (!song || !player) return heard;
    korvanti_player_set_passes(player.get(), 0);
    if (korvanti_player_start(player.get(), song.get()) != KORVANTI_OK) return heard;
    const int32_t block_frames = korvanti_player_block_frames(player.get());
    heard.frames_per_block = block_frames;
    // A frame can pass over a block, so a few blocks of the end order are kept.
    constexpr int32_t END_BLOCKS = 4;
    const int64_t limit = int64_t{300} * RATE / block_frames;
    int32_t end_blocks = 0;
    std::vector<int16_t> pcm(size_t(2 * block_frames));
    for (int64_t block = 0; block < limit && end_blocks < END_BLOCKS; ++block) {
        korvanti_sync_snapshot snapshot;
        if (korvanti_player_render(player.get(), pcm.data(), block_frames) != block_frames ||
            korvanti_player_get_snapshot(player.get(), block, &snapshot) != KORVANTI_OK) {
            break;
        }
        heard.blocks.push_back(snapshot);
        if (snapshot.order == END_ORDER) ++end_blocks;
    }
    return heard;
}

struct FadeOutcome {
    bool seen = false;          // the odd order after the fade was reached
    bool switched_off = false;  // fog_enabled false when that odd order began
    float gl_density = 0.0f;    // what GL held then
};

struct DemoRun {
    FadeOutcome fades[FADE_OUTS];
    bool reached_end = false;
};

// One run of the demo: the frame at time t hears the block that plays at t
// (block 0 starts at 0). Per frame, as draw_frame does: the density is handed
// to GL while the fog is enabled, and GL refuses a negative one, keeping the
// one before; then the fog rule steps.
DemoRun replay(const Heard& heard, double period_ms, double phase_ms) {
    DemoRun run;
    SceneState state = scene_state;  // its start value: nothing here draws frames
    float gl_density = 1.0f;         // GL's own start value
    for (int64_t frame = 0;; ++frame) {
        const double seconds = (phase_ms + double(frame) * period_ms) / 1000.0;
        const size_t block = static_cast<size_t>(std::floor(seconds * RATE / heard.frames_per_block));
        if (block >= heard.blocks.size()) break;
        const int32_t order = heard.blocks[block].order;
        const int32_t row = heard.blocks[block].row;
        if (order == END_ORDER) {
            run.reached_end = true;
            break;
        }
        if (state.fog_enabled && state.fog_density >= 0.0f) gl_density = state.fog_density;
        if (order % 2 == 1 && order < END_ORDER) {
            FadeOutcome& fade = run.fades[order / 2];
            if (!fade.seen) fade = FadeOutcome{true, !state.fog_enabled, gl_density};
        }
        update_fog(&state, order, row);
    }
    return run;
}

TEST(FogWithTheMusic, EveryFadeOutClearsTheFogAtAnyFramePeriodAndPhase) {
    const Heard heard = render_heard_positions();
    ASSERT_FALSE(heard.blocks.empty());
    ASSERT_EQ(heard.blocks.back().order, END_ORDER) << "order 8 never heard";

    int32_t left_on[FADE_OUTS] = {};
    int32_t too_dense[FADE_OUTS] = {};
    float densest[FADE_OUTS] = {};
    int32_t runs = 0;
    for (int32_t step = 0;; ++step) {
        const double period = SHORTEST_PERIOD_MS + step * PERIOD_STEP_MS;
        if (period > LONGEST_PERIOD_MS + PERIOD_STEP_MS / 2) break;
        for (int32_t k = 0; k < PHASES; ++k) {
            const double phase = period * k / PHASES;
            const DemoRun run = replay(heard, period, phase);
            ++runs;
            ASSERT_TRUE(run.reached_end) << "period " << period << " ms";
            for (int32_t i = 0; i < FADE_OUTS; ++i) {
                const FadeOutcome& fade = run.fades[i];
                ASSERT_TRUE(fade.seen) << "order " << 2 * i + 1 << " never drawn at period " << period;
                // The first failing run of each fade-out is enough to see why.
                if (!fade.switched_off && left_on[i]++ == 0)
                    ADD_FAILURE() << "order " << 2 * i << " ends with the fog on, period " << period
                                  << " ms, phase " << phase << " ms";
                if (fade.gl_density >= GL_LEFT_LIMIT[i] && too_dense[i]++ == 0)
                    ADD_FAILURE() << "order " << 2 * i << " leaves GL at " << fade.gl_density << ", period "
                                  << period << " ms, phase " << phase << " ms";
                densest[i] = std::fmax(densest[i], fade.gl_density);
            }
        }
    }
    for (int32_t i = 0; i < FADE_OUTS; ++i) {
        EXPECT_EQ(left_on[i], 0) << "runs of " << runs << " with order " << 2 * i << " fog left on";
        EXPECT_EQ(too_dense[i], 0) << "runs of " << runs << " with order " << 2 * i
                                   << " GL density too high; densest " << densest[i];
    }
}

}  // namespace
