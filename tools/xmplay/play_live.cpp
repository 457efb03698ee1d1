// Live play: the files in turn through the sound device, with keys and a
// status line of what is heard.
//
// Where the song is: the frame the player says is heard, which counts the
// frames of the song before a jump too. Pausing holds the device, so the
// time shown stands still.
//
// Jumps to another order position keep the player's exactness: the player
// seeks to the order's first row as the song's own course reaches it, so what
// is heard after the jump is bit for bit what a play through would give
// there. The device restarts at a block, about 20 ms, so the jump lands up to
// 20 ms before the order's first row.
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
    korvanti_player* player;
    korvanti_song* song;
    korvanti_song_info info;
    int32_t rate;           // frames per second
    int64_t length_frames;  // one pass, -1: unknown
    int64_t target;         // requested length in frames, -1: none
    bool paused;
};

korvanti_position heard_position(const Playing& playing) {
    korvanti_position position = {};
    korvanti_player_get_position(playing.player, &position);
    return position;
}

// The frame at which play ends: the requested length, the end of the play,
// or whichever comes first.
bool heard_to_end(const Playing& playing) {
    korvanti_song_end end;
    int64_t stop = playing.target;
    if (korvanti_player_get_end(playing.player, &end) == KORVANTI_OK && (stop < 0 || end.frame < stop)) {
        stop = end.frame;
    }
    return stop >= 0 && heard_position(playing).frame >= stop;
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
    const korvanti_song_info& info = playing->info;
    korvanti_position position = heard_position(*playing);
    int32_t order = position.order & 255;
    int32_t row = position.row & 255;
    int32_t speed = position.speed;
    int32_t bpm = position.bpm;
    std::string time = format_time(position.frame, playing->rate);
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

// Left and Right: to the first row of the order position before or after
// the one heard; past the last one, to the end. Play goes on from where it
// was when there is no such position.
bool jump(Playing* playing, int32_t direction) {
    korvanti_position heard = heard_position(*playing);
    int32_t order = heard.order + direction;
    int result = KORVANTI_ERROR_RANGE;
    for (; order >= 0 && order < playing->info.song_length && result == KORVANTI_ERROR_RANGE; order += direction) {
        result = korvanti_player_seek_order(playing->player, order, 0);
    }
    if (result == KORVANTI_ERROR_RANGE && direction < 0) result = korvanti_player_seek_frame(playing->player, 0);
    if (result == KORVANTI_ERROR_RANGE) return true;  // nowhere to go: play goes on
    if (result == KORVANTI_OK) {
        playing->paused = false;
        korvanti_player_pause(playing->player, false);
    }
    return result == KORVANTI_OK;
}

// What a key asks for.
SongOutcome handle_key(KeyPress key, Playing* playing) {
    switch (key.key) {
        case TerminalKey::SPACE:
            playing->paused = !playing->paused;
            korvanti_player_pause(playing->player, playing->paused);
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

SongOutcome play_song(korvanti_player* player, korvanti_song* song, const korvanti_song_info& info,
                      const XmplayOptions& options, StatusLine* status) {
    Playing playing{player, song, info, options.rate, -1,
                    requested_frames(options, korvanti_player_block_frames(player)), false};
    playing.length_frames = survey_song_length(song, 1, options.rate).end_frame;
    korvanti_player_set_passes(player, options.passes);
    korvanti_player_pause(player, false);
    int result = korvanti_player_start(player, song);
    if (result != KORVANTI_OK) {
        std::fprintf(stderr, "xmplay: the module cannot be played at %d Hz: %s\n", options.rate,
                     korvanti_error_message(result));
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

void report_song_end(korvanti_player* player, const XmplayOptions& options) {
    korvanti_song_end end;
    bool ended = korvanti_player_get_end(player, &end) == KORVANTI_OK && end.returns;
    if (requested_frames(options, korvanti_player_block_frames(player)) >= 0 && !ended) return;
    if (!ended) return;
    std::fprintf(stderr, "xmplay: end of song: play returned to order %d row %d\n", end.order, end.row);
}

// Plays one file of the list; FAILED when it cannot be read or loaded. The
// sound device is opened with the first file that loads and kept.
SongOutcome play_file(const XmplayOptions& options, size_t index, StatusLine* status, korvanti_player** player) {
    const std::string& path = options.module_paths[index];
    ModuleFile file = read_module_file(path);
    if (!file.readable) {
        std::fprintf(stderr, "xmplay: %s\n", file.error.c_str());
        return SongOutcome::FAILED;
    }
    korvanti_song* song = load_module(path, file);
    if (song == nullptr) return SongOutcome::FAILED;
    if (*player == nullptr) {
        char reason[256] = "";
        *player = korvanti_player_create_live(options.rate, KORVANTI_DEVICE_SOUND, nullptr, reason, sizeof reason);
        if (*player == nullptr) {
            std::fprintf(stderr, "xmplay: cannot open the sound device at %d Hz: %s, or render with --wav\n",
                         options.rate, reason);
            korvanti_song_free(song);
            return SongOutcome::NO_DEVICE;
        }
        if (!use_mixer(*player, options)) {
            korvanti_song_free(song);
            return SongOutcome::NO_DEVICE;
        }
    }
    korvanti_song_info info;
    korvanti_song_get_info(song, &info);
    std::fprintf(stderr, "xmplay: playing %s", path.c_str());
    if (options.module_paths.size() > 1) std::fprintf(stderr, " (%zu of %zu)", index + 1, options.module_paths.size());
    std::fprintf(stderr, ": \"%s\"\n", printable(info.name).c_str());
    SongOutcome outcome = play_song(*player, song, info, options, status);
    if (outcome == SongOutcome::ENDED) report_song_end(*player, options);
    korvanti_song_free(song);
    return outcome;
}

}  // namespace

int play_live(const XmplayOptions& options) {
    terminal_catch_interrupts();
    terminal_keys_begin();
    StatusLine status{terminal_is_terminal(stderr), 0};
    korvanti_player* player = nullptr;
    bool failed = false;
    SongOutcome outcome = SongOutcome::ENDED;
    auto count = static_cast<int64_t>(options.module_paths.size());
    int64_t step = 1;
    for (int64_t index = 0; index < count && !terminal_interrupted();) {
        outcome = play_file(options, static_cast<size_t>(index), &status, &player);
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
    korvanti_player_destroy(player);
    terminal_keys_end();
    if (outcome == SongOutcome::INTERRUPTED || terminal_interrupted()) {
        std::fprintf(stderr, "xmplay: stopped\n");
        return EXIT_INTERRUPTED;
    }
    return failed || outcome == SongOutcome::NO_DEVICE ? EXIT_FAILED : 0;
}
