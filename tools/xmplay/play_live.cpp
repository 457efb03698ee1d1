// Live play: the files in turn through the sound device, with keys and a
// status line of what is heard.
//
// Where the song is: the player's audible frame, which counts the frames of
// the song before the device's first too (a jump starts the device afresh).
// Pausing holds the device, so the time shown stands still.
//
// Jumps to another order position keep the player's exactness: the song is
// started again and rendered silently up to the block where that order
// position starts in its own play (song_play_from), so what is heard after
// the jump is bit for bit what a play through would give there. A block is
// about 20 ms, so the jump lands up to 20 ms before the order's first row.
#include <cstdio>
#include <cstring>

#include "platform/terminal.h"
#include "tools/xmplay/xmplay.h"

namespace {

constexpr int32_t STATUS_INTERVAL_MS = 50;
constexpr int32_t DEFAULT_COLUMNS = 80;

// How the play of one file ends; GOES_ON while it does not.
enum class SongOutcome { GOES_ON, ENDED, NEXT_FILE, PREVIOUS_FILE, QUIT, INTERRUPTED, FAILED, NO_DEVICE };

struct StatusLine {
    bool on;             // standard error is a terminal
    size_t shown_width;  // characters of the line on screen; 0: none
};

// The song being heard.
struct Playing {
    Song* song;
    SongInfo info;
    int32_t passes;         // as in song_set_passes
    int32_t rate;           // frames per second
    int64_t length_frames;  // one pass, -1: unknown
    int64_t target;         // requested length in frames, -1: none
    bool paused;
};

// The frame at which play ends: the requested length, the song's end, or
// whichever comes first.
bool heard_to_end(const Playing& playing) {
    SongEnd end;
    int64_t stop = playing.target;
    if (song_end(playing.song, &end) && (stop < 0 || end.frame < stop)) stop = end.frame;
    return stop >= 0 && song_audible_frame(playing.song) >= stop;
}

void status_clear(StatusLine* status) {
    if (status->shown_width == 0) return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    status->shown_width = 0;
}

// The longest form of the line that fits the terminal, less one column so
// the cursor never wraps.
std::string status_text(const Playing* playing, int32_t columns) {
    Song* song = playing->song;
    const SongInfo& info = playing->info;
    int32_t order = song_audible_order(song);
    int32_t row = song_audible_row(song);
    int32_t speed = song_audible_speed(song);
    int32_t bpm = song_audible_bpm(song);
    std::string time = format_time(song_audible_frame(song), playing->rate);
    std::string length =
        playing->length_frames >= 0 ? format_time(playing->length_frames, playing->rate) : "-:--.--";
    const char* paused = playing->paused ? "  [paused]" : "";
    char forms[4][160];
    std::snprintf(forms[0], sizeof forms[0], "order %d/%d  pattern %d  row %2d  speed %d  BPM %d  %s / %s%s", order,
                  info.song_length, info.orders[order & 255], row, speed, bpm, time.c_str(), length.c_str(), paused);
    std::snprintf(forms[1], sizeof forms[1], "%d/%d pat %d row %d  %d/%d  %s / %s%s", order, info.song_length,
                  info.orders[order & 255], row, speed, bpm, time.c_str(), length.c_str(), paused);
    std::snprintf(forms[2], sizeof forms[2], "%d/%d %d  %s%s", order, info.song_length, row, time.c_str(),
                  playing->paused ? " [paused]" : "");
    std::snprintf(forms[3], sizeof forms[3], "%s", time.c_str());
    for (const char* form : forms) {
        if (static_cast<int32_t>(std::strlen(form)) < columns) return form;
    }
    return "";
}

void status_show(StatusLine* status, const Playing* playing) {
    if (!status->on) return;
    int32_t columns = terminal_columns(stderr);
    std::string text = status_text(playing, columns > 0 ? columns : DEFAULT_COLUMNS);
    size_t width = text.size();
    // Spaces over what is left of a longer line before.
    if (text.size() < status->shown_width) text.append(status->shown_width - text.size(), ' ');
    std::fprintf(stderr, "\r%s", text.c_str());
    std::fflush(stderr);
    status->shown_width = width > 0 ? width : 1;
}

// Starts the device at the block holding song frame `frame`.
bool play_from(Playing* playing, int64_t frame) {
    playing->paused = false;
    return song_play_from(playing->song, frame / player_block_frames());
}

// Left and Right: to the start of the order position before or after the
// one heard. The survey stops the stream; play goes on from the target, or
// from where it was when there is none.
bool jump(Playing* playing, int32_t direction) {
    int64_t heard = song_audible_frame(playing->song);
    player_pause(true);  // silence, not the old ring looping, while the target is found
    int64_t target = survey_order_start(playing->song, playing->passes, playing->rate, heard, direction);
    return play_from(playing, target >= 0 ? target : heard);
}

// What a key asks for.
SongOutcome handle_key(KeyPress key, Playing* playing) {
    switch (key.key) {
        case TerminalKey::SPACE:
            playing->paused = !playing->paused;
            player_pause(playing->paused);
            return SongOutcome::GOES_ON;
        case TerminalKey::ESCAPE: return SongOutcome::QUIT;
        case TerminalKey::LEFT:
        case TerminalKey::RIGHT:
            return jump(playing, key.key == TerminalKey::LEFT ? -1 : 1) ? SongOutcome::GOES_ON : SongOutcome::FAILED;
        case TerminalKey::CHARACTER:
            switch (key.character) {
                case 'q':
                case 'Q': return SongOutcome::QUIT;
                case 'n':
                case 'N': return SongOutcome::NEXT_FILE;
                case 'p':
                case 'P': return SongOutcome::PREVIOUS_FILE;
                default: return SongOutcome::GOES_ON;
            }
        default: return SongOutcome::GOES_ON;
    }
}

SongOutcome play_song(Song* song, const SongInfo& info, const XmplayOptions& options, StatusLine* status) {
    Playing playing{song, info, options.passes, options.rate, -1, requested_frames(options, player_block_frames()),
                    false};
    playing.length_frames = survey_song_length(song, 1, options.rate).end_frame;
    song_set_passes(song, options.passes);
    if (!play_from(&playing, 0)) {
        std::fprintf(stderr, "xmplay: the module cannot be played at %d Hz\n", options.rate);
        return SongOutcome::FAILED;
    }
    SongOutcome outcome = SongOutcome::GOES_ON;
    while (outcome == SongOutcome::GOES_ON) {
        KeyPress key = terminal_wait_key(STATUS_INTERVAL_MS);
        outcome = terminal_interrupted() ? SongOutcome::INTERRUPTED : handle_key(key, &playing);
        if (outcome == SongOutcome::GOES_ON && !playing.paused && heard_to_end(playing)) outcome = SongOutcome::ENDED;
        if (outcome == SongOutcome::GOES_ON) status_show(status, &playing);
    }
    // The line of what was heard last stays on the screen.
    if (outcome != SongOutcome::FAILED) status_show(status, &playing);
    status_clear(status);
    return outcome;
}

void report_song_end(Song* song, const XmplayOptions& options) {
    SongEnd end;
    bool ended = song_end(song, &end);
    if (requested_frames(options, player_block_frames()) >= 0 && !ended) return;
    std::fprintf(stderr, "xmplay: end of song: play returned to order %d row %d\n", end.order, end.row);
}

// Plays one file of the list; FAILED when it cannot be read or loaded.
SongOutcome play_file(const XmplayOptions& options, size_t index, StatusLine* status, bool* device_open) {
    const std::string& path = options.module_paths[index];
    ModuleFile file = read_module_file(path);
    if (!file.readable) {
        std::fprintf(stderr, "xmplay: %s\n", file.error.c_str());
        return SongOutcome::FAILED;
    }
    Song* song = load_module(path, file);
    if (song == nullptr) return SongOutcome::FAILED;
    if (!*device_open && !player_init(options.rate)) {
        std::fprintf(stderr, "xmplay: cannot open the sound device at %d Hz: %s, or render with --wav\n", options.rate,
                     player_device_error());
        song_free(song);
        return SongOutcome::NO_DEVICE;
    }
    *device_open = true;
    SongInfo info;
    song_info(song, &info);
    std::fprintf(stderr, "xmplay: playing %s", path.c_str());
    if (options.module_paths.size() > 1) std::fprintf(stderr, " (%zu of %zu)", index + 1, options.module_paths.size());
    std::fprintf(stderr, ": \"%s\"\n", printable(info.name).c_str());
    SongOutcome outcome = play_song(song, info, options, status);
    if (outcome == SongOutcome::ENDED) report_song_end(song, options);
    song_free(song);
    return outcome;
}

}  // namespace

int play_live(const XmplayOptions& options) {
    terminal_catch_interrupts();
    terminal_keys_begin();
    StatusLine status{terminal_is_terminal(stderr), 0};
    bool device_open = false;
    bool failed = false;
    SongOutcome outcome = SongOutcome::ENDED;
    auto count = static_cast<int64_t>(options.module_paths.size());
    int64_t step = 1;
    for (int64_t index = 0; index < count && !terminal_interrupted();) {
        outcome = play_file(options, static_cast<size_t>(index), &status, &device_open);
        if (outcome == SongOutcome::QUIT || outcome == SongOutcome::INTERRUPTED || outcome == SongOutcome::NO_DEVICE) {
            break;
        }
        // A file that fails is passed in the direction of travel; p goes
        // back, anything else on, and the first file is as far back as it goes.
        if (outcome == SongOutcome::FAILED) {
            failed = true;
        } else {
            step = outcome == SongOutcome::PREVIOUS_FILE ? -1 : 1;
        }
        index += step;
        if (index < 0) {
            index = 0;
            step = 1;
        }
    }
    if (device_open) player_close();
    terminal_keys_end();
    if (outcome == SongOutcome::INTERRUPTED || terminal_interrupted()) {
        std::fprintf(stderr, "xmplay: stopped\n");
        return EXIT_INTERRUPTED;
    }
    return failed || outcome == SongOutcome::NO_DEVICE ? EXIT_FAILED : 0;
}
