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
// 20 ms before the order's first row. Presses add up: all the arrows waiting
// are one jump, and a press that comes before the last jump is heard counts
// from where that jump went, not from what is still heard.
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>

#include "platform/terminal.h"
#include "tools/xmplay/xmplay.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int32_t STATUS_INTERVAL_MS = 50;
constexpr int32_t DEFAULT_COLUMNS = 80;
// A jump not yet heard after this long (an order shorter than a block, say)
// no longer counts as the base of the next press.
constexpr int32_t JUMP_HEARD_WITHIN_MS = 1000;
// Totals of more passes than this are not worked out for the status line.
constexpr int32_t TOTAL_PASSES_LIMIT = 16;
constexpr double GAIN_KEY_STEP_DB = 1.0;
constexpr double GAIN_DB_LOWEST = -100.0;
constexpr double GAIN_DB_HIGHEST = 40.0;

// How the play of one file ends; GOES_ON while it does not.
enum class SongOutcome { GOES_ON, ENDED, NEXT_FILE, PREVIOUS_FILE, QUIT, INTERRUPTED, FAILED, NO_DEVICE };

struct StatusLine {
    bool on;             // standard error is a terminal
    bool erase_codes;    // the terminal takes ESC [ K and the like; else spaces cover an old line
    size_t shown_width;  // characters of the line on screen; 0: none
};

// What the listener set with keys; kept from file to file.
struct Listener {
    double gain_db;
    uint32_t muted_channels;  // bit c: channel c (0-based)
};

// The last jump, until it is heard.
struct PendingJump {
    bool pending;
    int32_t order;        // where it went
    Clock::time_point at;
};

// The song being heard.
struct Playing {
    korvanti_player* player;
    korvanti_song* song;
    korvanti_song_info info;
    int32_t rate;           // frames per second
    int32_t passes;         // 0: until stopped
    int64_t total_frames;   // where the play stops: the length asked for or the end of the passes; -1: unknown
    int64_t target;         // requested length in frames, -1: none
    bool paused;
    Listener* listener;
    PendingJump jump;
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

// The length of the whole play, all its passes, cut at the length asked for.
int64_t play_total_frames(const korvanti_song* song, const XmplayOptions& options, int64_t target) {
    int64_t total = -1;
    korvanti_song_end end;
    if (options.passes > 0 && options.passes <= TOTAL_PASSES_LIMIT &&
        korvanti_song_find_end(song, options.rate, options.passes, &end) == KORVANTI_OK) {
        total = end.frame;
    }
    if (target >= 0 && (total < 0 || target < total)) total = target;
    if (options.passes == 0 && target < 0) total = -1;
    return total;
}

// --- The status line

// The parts beyond order, row and time, long and short; empty when not set.
struct StatusExtras {
    std::string pass, pass_short;
    std::string gain, gain_short;
    std::string mute, mute_short;
    std::string paused;
};

StatusExtras status_extras(const Playing& playing, const korvanti_position& position) {
    StatusExtras extras;
    int32_t pass = position.pass + 1;
    if (playing.passes > 1) {
        extras.pass = "  pass " + std::to_string(pass) + "/" + std::to_string(playing.passes);
        extras.pass_short = " p" + std::to_string(pass) + "/" + std::to_string(playing.passes);
    } else if (playing.passes == 0) {
        extras.pass = "  pass " + std::to_string(pass);
        extras.pass_short = " p" + std::to_string(pass);
    }
    double gain = playing.listener->gain_db;
    if (gain != 0.0) {
        char text[32];
        std::snprintf(text, sizeof text, "%+g", gain);
        extras.gain = std::string("  ") + text + " dB";
        extras.gain_short = std::string(" ") + text + "dB";
    }
    uint32_t song_channels = playing.info.channel_count >= 32 ? ~0u : (1u << playing.info.channel_count) - 1;
    std::string muted = channel_list(playing.listener->muted_channels & song_channels);
    if (!muted.empty()) {
        extras.mute = "  mute " + muted;
        extras.mute_short = " m" + muted;
    }
    if (playing.paused) extras.paused = "  [paused]";
    return extras;
}

// The longest form of the line that fits the terminal, less one column so
// the cursor never wraps. From 80 columns on, every form kept there shows
// "order N/LEN".
std::string status_text(const Playing& playing, int32_t columns) {
    const korvanti_song_info& info = playing.info;
    korvanti_position position = heard_position(playing);
    int32_t order = position.order & 255;
    int32_t row = position.row & 255;
    int32_t pattern = info.orders[order];
    // The device may be heard a block past the end before play stops.
    int64_t frame = playing.total_frames >= 0 ? std::min(position.frame, playing.total_frames) : position.frame;
    std::string time = format_time(frame, playing.rate);
    if (playing.total_frames >= 0) time += " / " + format_time(playing.total_frames, playing.rate);
    StatusExtras x = status_extras(playing, position);
    const std::string paused_short = playing.paused ? " [paused]" : "";
    char head[5][96];
    std::snprintf(head[0], sizeof head[0], "order %d/%d  pattern %d  row %2d  speed %d  BPM %d  ", order,
                  info.song_length, pattern, row, position.speed, position.bpm);
    std::snprintf(head[1], sizeof head[1], "order %d/%d  pat %d  row %2d  %d/%d  ", order, info.song_length, pattern,
                  row, position.speed, position.bpm);
    std::snprintf(head[2], sizeof head[2], "order %d/%d  row %2d  ", order, info.song_length, row);
    std::snprintf(head[3], sizeof head[3], "%d/%d pat %d row %d  %d/%d  ", order, info.song_length, pattern, row,
                  position.speed, position.bpm);
    std::snprintf(head[4], sizeof head[4], "%d/%d row %d  ", order, info.song_length, row);
    const std::string forms[] = {
        head[0] + time + x.pass + x.gain + x.mute + x.paused,
        head[1] + time + x.pass + x.gain + x.mute + x.paused,
        head[2] + time + x.pass_short + x.gain_short + x.mute_short + paused_short,
        head[2] + time + x.pass_short + x.gain_short + paused_short,
        head[3] + time + x.pass_short + x.gain_short + x.mute_short + paused_short,
        head[4] + time + x.pass_short + x.gain_short + paused_short,
        head[4] + time + paused_short,
        std::to_string(order) + "/" + std::to_string(info.song_length) + " " + std::to_string(row) + "  " +
            format_time(frame, playing.rate) + paused_short,
        format_time(frame, playing.rate),
    };
    for (const std::string& form : forms) {
        if (static_cast<int32_t>(form.size()) < columns) return form;
    }
    return "";
}

void status_clear(StatusLine* status) {
    if (status->shown_width == 0) return;
    std::fputc('\n', stderr);
    std::fflush(stderr);
    status->shown_width = 0;
}

// Redrawn in place: the line and an erase to its end, never more characters
// than the terminal is wide, so nothing wraps. A terminal narrowed under the
// line shown last may have wrapped that line onto the rows above the cursor
// (most terminals rewrap what they hold); those rows are erased too.
void status_show(StatusLine* status, const Playing& playing) {
    if (!status->on) return;
    int32_t columns = terminal_columns(stderr);
    if (columns <= 0) columns = DEFAULT_COLUMNS;
    std::string text = status_text(playing, columns);
    std::string out = "\r";
    if (!status->erase_codes) {
        // Spaces over the rest of a longer line, within the width.
        size_t cover = std::min(status->shown_width, static_cast<size_t>(columns - 1));
        std::string line = text;
        if (line.size() < cover) line.append(cover - line.size(), ' ');
        std::fprintf(stderr, "\r%s", line.c_str());
        std::fflush(stderr);
        status->shown_width = text.empty() ? 1 : text.size();
        return;
    }
    if (status->shown_width > static_cast<size_t>(columns)) {
        size_t rows_above = (status->shown_width - 1) / static_cast<size_t>(columns);
        for (size_t i = 0; i < rows_above; ++i) out += "\x1b[2K\x1b[A";
    }
    out += text + "\x1b[K";
    std::fputs(out.c_str(), stderr);
    std::fflush(stderr);
    status->shown_width = text.empty() ? 1 : text.size();
}

// --- Keys

// Moves `steps` order positions (negative: back) from the one heard, or from
// where the last jump went while it is not heard yet. Past the last order
// position play goes to the last; before the first, to the song's start.
// Orders one pass never plays are passed in the direction of travel.
bool jump(Playing* playing, int32_t steps) {
    korvanti_position heard = heard_position(*playing);
    int32_t from = playing->jump.pending ? playing->jump.order : heard.order;
    int32_t last = playing->info.song_length - 1;
    int32_t order = std::min(std::max(from + steps, 0), last);
    if (steps > 0 && order <= from) return true;  // at the last already: play goes on
    int32_t direction = steps > 0 ? 1 : -1;
    int result = KORVANTI_ERROR_RANGE;
    for (; order >= 0 && order <= last && result == KORVANTI_ERROR_RANGE; order += direction) {
        result = korvanti_player_seek_order(playing->player, order, 0);
    }
    order -= direction;
    if (result == KORVANTI_ERROR_RANGE && direction < 0) {
        result = korvanti_player_seek_frame(playing->player, 0);
        order = 0;
    }
    if (result == KORVANTI_ERROR_RANGE) return true;  // nowhere to go: play goes on
    if (result != KORVANTI_OK) return false;
    playing->jump = PendingJump{true, order, Clock::now()};
    playing->paused = false;
    korvanti_player_pause(playing->player, false);
    return true;
}

// The jump is heard once the order it went to is, or after a while.
void settle_jump(Playing* playing) {
    if (!playing->jump.pending) return;
    auto waited = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - playing->jump.at).count();
    if (heard_position(*playing).order == playing->jump.order || waited > JUMP_HEARD_WITHIN_MS) {
        playing->jump.pending = false;
    }
}

bool change_gain(Playing* playing, double step) {
    double gain = std::min(std::max(playing->listener->gain_db + step, GAIN_DB_LOWEST), GAIN_DB_HIGHEST);
    if (gain == playing->listener->gain_db) return true;
    playing->listener->gain_db = gain;
    return korvanti_player_set_gain_db(playing->player, gain) == KORVANTI_OK;
}

bool toggle_channel(Playing* playing, int32_t channel) {
    if (channel >= playing->info.channel_count) return true;
    uint32_t& muted = playing->listener->muted_channels;
    muted ^= 1u << channel;
    return korvanti_player_set_channel_muted(playing->player, channel, ((muted >> channel) & 1u) != 0) == KORVANTI_OK;
}

void list_keys(StatusLine* status) {
    if (status->shown_width > 0) std::fputs(status->erase_codes ? "\r\x1b[K" : "\n", stderr);
    status->shown_width = 0;
    std::fprintf(stderr, "xmplay: keys:\n%s", XMPLAY_KEYS);
    std::fflush(stderr);
}

// What a key other than Left and Right asks for.
SongOutcome handle_key(KeyPress key, Playing* playing, StatusLine* status) {
    bool done = true;
    switch (key.key) {
        case TerminalKey::SPACE:
            playing->paused = !playing->paused;
            korvanti_player_pause(playing->player, playing->paused);
            break;
        case TerminalKey::ESCAPE: return SongOutcome::QUIT;
        case TerminalKey::CHARACTER:
            switch (key.character) {
                case 'q':
                case 'Q': return SongOutcome::QUIT;
                case 'n':
                case 'N': return SongOutcome::NEXT_FILE;
                case 'p':
                case 'P': return SongOutcome::PREVIOUS_FILE;
                case '+':
                case '=': done = change_gain(playing, GAIN_KEY_STEP_DB); break;
                case '-':
                case '_': done = change_gain(playing, -GAIN_KEY_STEP_DB); break;
                case 'h':
                case 'H':
                case '?': list_keys(status); break;
                default:
                    if (key.character >= '1' && key.character <= '9') done = toggle_channel(playing, key.character - '1');
                    if (key.character == '0') done = toggle_channel(playing, 9);
                    break;
            }
            break;
        default: break;
    }
    return done ? SongOutcome::GOES_ON : SongOutcome::FAILED;
}

// Every key waiting, in turn; the arrows among them add up to one jump.
SongOutcome handle_keys(KeyPress key, Playing* playing, StatusLine* status) {
    int32_t steps = 0;
    SongOutcome outcome = SongOutcome::GOES_ON;
    while (key.key != TerminalKey::NONE && outcome == SongOutcome::GOES_ON) {
        if (key.key == TerminalKey::LEFT || key.key == TerminalKey::RIGHT) {
            steps += key.key == TerminalKey::LEFT ? -1 : 1;
        } else {
            outcome = handle_key(key, playing, status);
        }
        key = terminal_wait_key(0);
    }
    if (outcome == SongOutcome::GOES_ON && steps != 0 && !jump(playing, steps)) outcome = SongOutcome::FAILED;
    return outcome;
}

SongOutcome play_song(korvanti_player* player, korvanti_song* song, const korvanti_song_info& info,
                      const XmplayOptions& options, const std::string& path, Listener* listener, StatusLine* status) {
    int64_t target = requested_frames(options, korvanti_player_block_frames(player));
    Playing playing{player, song, info, options.rate, options.passes, play_total_frames(song, options, target),
                    target, false, listener, PendingJump{false, 0, Clock::now()}};
    korvanti_player_set_passes(player, options.passes);
    korvanti_player_pause(player, false);
    int result = korvanti_player_start(player, song);
    if (result != KORVANTI_OK) {
        std::fprintf(stderr, "xmplay: the module cannot be played at %d Hz: %s\n", options.rate,
                     korvanti_error_message(result));
        return SongOutcome::FAILED;
    }
    if (!seek_to_start(player, song, options, path)) {
        korvanti_player_stop(player);
        return SongOutcome::FAILED;
    }
    SongOutcome outcome = SongOutcome::GOES_ON;
    while (outcome == SongOutcome::GOES_ON) {
        KeyPress key = terminal_wait_key(STATUS_INTERVAL_MS);
        outcome = terminal_interrupted() ? SongOutcome::INTERRUPTED : handle_keys(key, &playing, status);
        settle_jump(&playing);
        if (outcome == SongOutcome::GOES_ON && !playing.paused && heard_to_end(playing)) outcome = SongOutcome::ENDED;
        if (outcome == SongOutcome::GOES_ON) status_show(status, playing);
    }
    // The line of what was heard last stays on the screen.
    if (outcome != SongOutcome::FAILED) status_show(status, playing);
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

// The sound device, opened with the first file that loads and kept; the
// listener's settings go on it.
korvanti_player* open_device(const XmplayOptions& options, const Listener& listener) {
    char reason[256] = "";
    korvanti_player* player =
        korvanti_player_create_live(options.rate, KORVANTI_DEVICE_SOUND, nullptr, reason, sizeof reason);
    if (player == nullptr) {
        std::fprintf(stderr, "xmplay: cannot open the sound device at %d Hz: %s, or render with --wav\n",
                     options.rate, reason);
        return nullptr;
    }
    XmplayOptions settings = options;
    settings.gain_db = listener.gain_db;
    settings.muted_channels = listener.muted_channels;
    if (!use_mixer(player, options) || !apply_output_options(player, settings)) {
        korvanti_player_destroy(player);
        return nullptr;
    }
    return player;
}

// Plays one file of the list; FAILED when it cannot be read or loaded.
SongOutcome play_file(const XmplayOptions& options, const std::vector<size_t>& order, size_t index,
                      Listener* listener, StatusLine* status, korvanti_player** player) {
    const std::string& path = options.module_paths[order[index]];
    ModuleFile file = read_module_file(path);
    if (!file.readable) {
        std::fprintf(stderr, "xmplay: %s\n", file.error.c_str());
        return SongOutcome::FAILED;
    }
    korvanti_song* song = load_module(path, file);
    if (song == nullptr) return SongOutcome::FAILED;
    if (*player == nullptr) *player = open_device(options, *listener);
    if (*player == nullptr) {
        korvanti_song_free(song);
        return SongOutcome::NO_DEVICE;
    }
    korvanti_song_info info;
    korvanti_song_get_info(song, &info);
    std::fprintf(stderr, "xmplay: playing %s", path.c_str());
    if (order.size() > 1) std::fprintf(stderr, " (%zu of %zu)", index + 1, order.size());
    std::fprintf(stderr, ": \"%s\"\n", printable(info.name).c_str());
    SongOutcome outcome = play_song(*player, song, info, options, path, listener, status);
    if (outcome == SongOutcome::ENDED) report_song_end(*player, options);
    // Silent at once, while the next file loads.
    korvanti_player_stop(*player);
    korvanti_song_free(song);
    return outcome;
}

// The order the files play in: as given, or shuffled.
std::vector<size_t> play_order(const XmplayOptions& options) {
    std::vector<size_t> order(options.module_paths.size());
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (options.shuffle) {
        std::random_device seed;
        std::mt19937 generator(seed());
        std::shuffle(order.begin(), order.end(), generator);
    }
    return order;
}

// Keys come from standard input when it is a terminal; when it carries a
// module, from the controlling terminal.
void take_keys(const XmplayOptions& options) {
    bool module_on_input =
        std::find(options.module_paths.begin(), options.module_paths.end(), "-") != options.module_paths.end();
    terminal_keys_begin(module_on_input && !terminal_is_terminal(stdin));
}

}  // namespace

int play_live(const XmplayOptions& options) {
    terminal_catch_interrupts();
    take_keys(options);
    bool on = terminal_is_terminal(stderr);
    StatusLine status{on, on && terminal_line_controls(stderr), 0};
    Listener listener{options.gain_db, options.muted_channels};
    std::vector<size_t> order = play_order(options);
    korvanti_player* player = nullptr;
    bool failed = false;
    SongOutcome outcome = SongOutcome::ENDED;
    auto count = static_cast<int64_t>(order.size());
    int64_t step = 1;
    for (int64_t index = 0; index < count && !terminal_interrupted();) {
        outcome = play_file(options, order, static_cast<size_t>(index), &listener, &status, &player);
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
        std::fflush(stderr);
        terminal_end_by_interrupt();
    }
    return failed || outcome == SongOutcome::NO_DEVICE ? EXIT_FAILED : 0;
}
