// Songs and players for the tests, without the disk: a module's bytes are
// loaded through the loader's file table (an in-memory file that counts its
// opens, so leaks show), as a bare Song or as a public song handle, and
// played on players made for the test. Plus small builders for the tiny
// modules tests need.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "korvanti/player.h"
#include "player/module/song.h"
#include "player/output/player.h"
#include "player/output/song_handle.h"
#include "tools/make_assets/xm_writer.h"

// Opens of the in-memory module files still open (a leak check for loaders).
int32_t memory_files_open();

// The loader on `bytes`, the way the player's loads reach it: null when the
// load fails (with the reason in *result when given). Released with
// korvanti::song_release; a Song that a player plays is loaded as a handle
// below instead.
korvanti::Song* load_song_from_bytes(const std::vector<uint8_t>& bytes,
                                     korvanti::SampleDataSource sample_data_source = nullptr,
                                     korvanti::LoadResult* result = nullptr);

// The same on the module the writer makes of `module`.
korvanti::Song* load_song_record(const XmModule& module, korvanti::SampleDataSource sample_data_source = nullptr,
                                 korvanti::LoadResult* result = nullptr);

struct SongRelease {
    void operator()(korvanti::Song* song) const { korvanti::song_release(song); }
};
using SongRecordPtr = std::unique_ptr<korvanti::Song, SongRelease>;

// A song handle, as korvanti_song_load_memory gives it.
struct SongFree {
    void operator()(korvanti_song* song) const { korvanti_song_free(song); }
};
using SongPtr = std::unique_ptr<korvanti_song, SongFree>;

korvanti_song* load_song_handle(const std::vector<uint8_t>& bytes);
korvanti_song* load_song_from_module(const XmModule& module);
// A handle over a Song the test built or loaded; the handle owns it from now on.
korvanti_song* handle_of_song(korvanti::Song* song);

// A Song of no patterns or instruments whose play is only its hooks: tempo
// 6, BPM 125, global volume 64, `channel_count` channels. Allocated as the
// loader allocates, so that handle_of_song can own it.
korvanti::Song* hooked_song(int16_t channel_count, korvanti::SongHook on_tick,
                            korvanti::SongHook on_play_start = nullptr);

// The records behind the public handles.
inline korvanti::SongHandle* handle_of(korvanti_song* song) { return reinterpret_cast<korvanti::SongHandle*>(song); }
inline korvanti::Song* song_of(korvanti_song* song) { return handle_of(song)->song; }
inline korvanti::Player* player_of(korvanti_player* player) { return reinterpret_cast<korvanti::Player*>(player); }

struct PlayerDestroy {
    void operator()(korvanti_player* player) const { korvanti_player_destroy(player); }
};
using PlayerPtr = std::unique_ptr<korvanti_player, PlayerDestroy>;

// An offline player at `rate`.
PlayerPtr offline_player(int32_t rate = 44100);
// A live player on the virtual device, whose position the test moves
// (korvanti::virtual_device_advance on player_of(...)->device).
PlayerPtr virtual_live_player(int32_t rate = 44100);

// A live player on `device` (the failing virtual device, say); null, with
// the code in *error, when it cannot be made.
PlayerPtr live_player_on(const korvanti::SoundDeviceOps* device, int32_t rate = 44100, int* error = nullptr);

// The next block of the play, rendered through the block renderer as the
// device would get it: its frames (block_frames of them, in the ring, valid
// until the next render) and its snapshot.
const int16_t* render_next_block(korvanti_player* player, korvanti::SyncSnapshot* snapshot = nullptr);
// `frames` frames of the play from where it stands through the public render.
std::vector<int16_t> render_frames(korvanti_player* player, int64_t frames);
// The whole play (to its end) through the public render, in chunks of `chunk` frames.
std::vector<int16_t> render_all(korvanti_player* player, int64_t chunk = 4096);

// Builders. Cells are row-major: row r, channel c is cells[r * channels + c].
XmCell note_cell(uint8_t note, uint8_t instrument, uint8_t volume = 0, uint8_t effect = 0,
                 uint8_t param = 0);
// A pattern of `rows` empty rows for `channels` channels.
XmPattern empty_pattern(uint16_t rows, uint16_t channels);
void set_cell(XmPattern& pattern, uint16_t channels, uint16_t row, uint16_t channel, const XmCell& cell);

// A sample of plain values (-128..127 when not sixteen_bit); `loop_type` is
// 0 none, 1 forward, 2 ping-pong; loop positions in frames.
XmSample make_sample(const std::vector<int16_t>& values, bool sixteen_bit = true, uint8_t loop_type = 0,
                     uint32_t loop_start = 0, uint32_t loop_length = 0);
// A 16-bit square wave with a forward loop over all of it: `period` frames
// per cycle, `cycles` cycles, amplitude `amplitude`.
XmSample square_sample(uint32_t period, uint32_t cycles, int16_t amplitude = 16000);
// An instrument whose every note plays its one sample.
XmInstrument instrument_with_sample(const XmSample& sample);

// One pattern of `rows` rows (or as many rows as `rows_of_cells` has rows,
// whichever is greater) at order 0, song length 1, `channels` channels, the
// given instruments, tempo 6, BPM 125, linear frequencies.
XmModule module_with_cells(uint16_t channels, const std::vector<XmCell>& cells, uint16_t rows,
                           const std::vector<XmInstrument>& instruments);
// One channel, one row per cell, one instrument playing a square wave.
XmModule one_channel_module(const std::vector<XmCell>& rows);
