/* korvanti player: loads XM (Extended Module) files and renders them, bit
 * for bit the same on every system, to 16-bit stereo PCM: live through the
 * sound device, or offline block by block into the caller's hands.
 *
 * Units and words used below:
 *   frame      one left/right pair of signed 16-bit samples (4 bytes),
 *              interleaved, left first, in the host's byte order
 *   rate       frames per second, PLAYER_RATE_MIN..MAX (44100 is usual)
 *   block      player_block_frames() frames, a little over 20 ms; the player
 *              renders block by block and describes each block it renders
 *   order      a position in the song's order table (0..255); each names
 *              the pattern played there
 *   row        a row of that pattern; speed is ticks per row, BPM sets
 *              the length of a tick (2.5 / BPM seconds)
 *
 * One player per process: one song plays or renders at a time. Call every
 * function from one thread; between song_play and song_stop the player
 * renders ahead of the device on a thread of its own. Failures come back as
 * false, null, 0 or -1, as each contract says; nothing is printed.
 *
 * The song's end: play never stops by itself (after the last order position
 * it goes on at the restart position). The player marks the end where play
 * comes back to a row it has already played (the wrap after the last order,
 * or a backward jump), not counting the passes of a pattern loop (E6x).
 *
 * The header is C99 and C++ alike. */
#ifndef KORVANTI_PLAYER_H
#define KORVANTI_PLAYER_H

#include <stdint.h>
#ifndef __cplusplus
#include <stdbool.h>
#endif

#define KORVANTI_PLAYER_VERSION_MAJOR 1
#define KORVANTI_PLAYER_VERSION_MINOR 0
#define KORVANTI_PLAYER_VERSION_PATCH 0
#define KORVANTI_PLAYER_VERSION "1.0.0"

/* What the shared library exports; everything else in it stays hidden. */
#if defined(__GNUC__) && !defined(_WIN32)
#define KORVANTI_PLAYER_API __attribute__((visibility("default")))
#else
#define KORVANTI_PLAYER_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The library's version, "MAJOR.MINOR.PATCH"; a static string. */
KORVANTI_PLAYER_API const char* player_version(void);

/* ---- File access ----------------------------------------------------
 * The player never touches files itself: song_load reads a module through
 * five functions the caller installs. The memory file below is a ready
 * set: it reads the whole named file into memory on open. */

typedef void* (*FileOpenFn)(const char* name);  /* null: the file cannot be opened */
typedef void (*FileCloseFn)(void* file);
typedef void (*FileReadFn)(void* destination, int32_t count, void* file);  /* count in bytes */
typedef void (*FileSeekFn)(void* file, int32_t offset, int32_t origin);    /* origin 0 start, 1 current, 2 end */
typedef int32_t (*FileTellFn)(void* file);                                 /* bytes from the start */

/* Installs the five functions for every later song_load; one null argument
 * leaves none installed. */
KORVANTI_PLAYER_API void set_file_callbacks(FileOpenFn open, FileCloseFn close, FileReadFn read,
                                            FileSeekFn seek, FileTellFn tell);
/* The memory file: open never fails (a missing file reads as empty); the
 * returned handle is released by memory_file_close. */
KORVANTI_PLAYER_API void* memory_file_open(const char* name);
KORVANTI_PLAYER_API void memory_file_close(void* file);
/* Copies up to count bytes; a read is cut short at the end of the file. */
KORVANTI_PLAYER_API void memory_file_read(void* destination, int32_t count, void* file);
/* Moves the position; a seek past the end stops at the end. */
KORVANTI_PLAYER_API void memory_file_seek(void* file, int32_t offset, int32_t origin);
/* The position, in bytes from the start. */
KORVANTI_PLAYER_API int32_t memory_file_tell(void* file);

/* ---- Songs ------------------------------------------------------------ */

/* A loaded module and its playback position; opaque. */
typedef struct Song Song;

/* Optional supplier of sample data in place of the file's: writes byte_count
 * bytes of plain (not delta-coded) values, signed bytes for bits 8, signed
 * 16-bit values in host order for bits 16. Indices count from 0. */
typedef void (*SampleDataSource)(void* destination, int32_t byte_count, int32_t bits,
                                 int32_t instrument_index, int32_t sample_index);

/* Reads the module named `file_name` through the file callbacks. Null when
 * no callbacks are installed, the file cannot be opened or is not a module
 * the player takes. The caller owns the Song and releases it with song_free.
 * sample_data_source may be null. */
KORVANTI_PLAYER_API Song* song_load(const char* file_name, SampleDataSource sample_data_source);
/* Stops the song if it plays, then releases it and everything it owns;
 * false for a null song. */
KORVANTI_PLAYER_API bool song_free(Song* song);

/* ---- What a module holds ---------------------------------------------
 * Names are the bytes stored in the file up to the first zero byte, with
 * trailing blanks removed, zero-terminated; the bytes are not checked
 * (trackers store any 8-bit character set). */

enum SampleLoopType {
    SAMPLE_LOOP_NONE = 1,
    SAMPLE_LOOP_FORWARD = 2,
    SAMPLE_LOOP_PINGPONG = 4
};

typedef struct SongInfo {
    char name[21];             /* module name, at most 20 bytes */
    char tracker_name[21];     /* program that wrote the file, at most 20 bytes */
    uint16_t format_version;   /* as stored: 0x0104 for 1.04 */
    int32_t channel_count;     /* 1..32 */
    int32_t song_length;       /* order positions that make up the song, 1..256 */
    int32_t restart_position;  /* order position play goes on at after the last one, as stored */
    int32_t pattern_count;     /* patterns stored, and those the orders name beyond them (64 empty rows each) */
    int32_t instrument_count;  /* 0..256 */
    int32_t sample_count;      /* samples of all instruments together */
    bool linear_frequencies;   /* true: linear frequency table; false: Amiga periods */
    int32_t default_speed;     /* ticks per row at the start */
    int32_t default_bpm;       /* beats per minute at the start */
    uint8_t orders[256];       /* pattern number at each order position */
} SongInfo;

typedef struct InstrumentInfo {
    char name[23];         /* at most 22 bytes */
    int32_t sample_count;  /* 0..16 */
} InstrumentInfo;

typedef struct SampleInfo {
    char name[23];         /* at most 22 bytes */
    uint32_t length;       /* frames, as loaded: no more than the file holds */
    uint32_t loop_start;   /* first frame of the loop; 0 without a loop */
    uint32_t loop_length;  /* frames in the loop; length without a loop */
    uint8_t loop_type;     /* a SampleLoopType */
    uint8_t stored_bits;   /* 8 or 16: the width of the data in the file */
} SampleInfo;

/* Fills `info`; false, leaving it untouched, for a null song or info. */
KORVANTI_PLAYER_API bool song_info(const Song* song, SongInfo* info);
/* Instrument `instrument` (0 .. instrument_count - 1); false, leaving `info`
 * untouched, for a null song or info or an index outside the song. */
KORVANTI_PLAYER_API bool song_instrument_info(const Song* song, int32_t instrument, InstrumentInfo* info);
/* Sample `sample` (0 .. its sample_count - 1) of instrument `instrument`;
 * false, leaving `info` untouched, for anything outside the song. */
KORVANTI_PLAYER_API bool song_sample_info(const Song* song, int32_t instrument, int32_t sample, SampleInfo* info);

/* ---- Playing through the sound device ------------------------------- */

/* The rates player_init and player_init_offline take, frames per second. */
enum PlayerRates { PLAYER_RATE_MIN = 8000, PLAYER_RATE_MAX = 192000 };

/* Opens the sound device for 16-bit stereo at `rate` frames per second and
 * sets the player up for it. False when no file callbacks are installed,
 * the rate is outside PLAYER_RATE_MIN..MAX or the device cannot be opened (see
 * player_device_error). Calling it again closes and reopens. */
KORVANTI_PLAYER_API bool player_init(int32_t rate);
/* Why the last player_init could not open the device, one line for a
 * person; empty after a success. A static string. */
KORVANTI_PLAYER_API const char* player_device_error(void);
/* Stops whatever plays, stops the device at once and closes it; harmless
 * when nothing is open. Also ends player_init_offline's settings. */
KORVANTI_PLAYER_API void player_close(void);
/* Starts `song` from its beginning: renders about two seconds ahead, hands
 * them to the device and keeps rendering on the player's thread. False,
 * starting nothing, for a null song, without player_init, or when the
 * song's tempo gives no frames per tick. */
KORVANTI_PLAYER_API bool song_play(Song* song);
/* song_play with every voice silenced first, and the first `first_block`
 * blocks of the song rendered silently on the calling thread: the device
 * starts at block `first_block`, with what a play from the beginning would
 * have sounded there, bit for bit. False as song_play, and for a negative
 * block. */
KORVANTI_PLAYER_API bool song_play_from(Song* song, int64_t first_block);
/* Ends the player's thread and releases the play buffers; the device keeps
 * looping its last two seconds until the next play or player_close. False
 * for a null song, true otherwise. */
KORVANTI_PLAYER_API bool song_stop(Song* song);
/* Holds the device where it is (true) or lets it go on (false); the sound
 * and the position heard stand still meanwhile. Harmless when nothing plays. */
KORVANTI_PLAYER_API void player_pause(bool paused);

/* Where the music heard now is, read from the description of the block the
 * device plays: all 0 for a null song or while nothing plays. The order and
 * row are their low 8 bits. */
KORVANTI_PLAYER_API int32_t song_audible_order(Song* song);
KORVANTI_PLAYER_API int32_t song_audible_row(Song* song);
/* Copies one flag per channel to out[0 .. channel_count - 1]: 1 when the
 * row heard gave that channel a note. Returns 1; 0, copying nothing, for a
 * null song or while nothing plays. */
KORVANTI_PLAYER_API int32_t song_audible_channel_values(Song* song, int32_t* out);
/* Ticks per row and beats per minute of the block heard. */
KORVANTI_PLAYER_API int32_t song_audible_speed(Song* song);
KORVANTI_PLAYER_API int32_t song_audible_bpm(Song* song);
/* The frame of the song the device plays now, counted from the song's
 * beginning (song_play_from's skipped blocks included); it stands still
 * while paused. */
KORVANTI_PLAYER_API int64_t song_audible_frame(Song* song);

/* ---- Rendering offline ------------------------------------------------ */

/* The block's description, one per rendered block. Packed: 134 bytes. */
#pragma pack(push, 1)
typedef struct SyncSnapshot {
    uint8_t order;              /* low 8 bits of the order position at the end of the block */
    uint8_t row;                /* low 8 bits of the row at the end of the block */
    int32_t elapsed_ms;         /* milliseconds of audio rendered up to the end of the block */
    int32_t channel_notes[32];  /* 1: the row gave the channel a note; 0 from channel_count on */
} SyncSnapshot;
#pragma pack(pop)

/* Sets the player up for `rate` without a sound device (files need not be
 * installed). False for a rate outside PLAYER_RATE_MIN..MAX. */
KORVANTI_PLAYER_API bool player_init_offline(int32_t rate);
/* Frames per block at the rate set up; 0 before player_init or
 * player_init_offline. */
KORVANTI_PLAYER_API int32_t player_block_frames(void);
/* Starts `song` from its beginning for song_render_next, stopping whatever
 * plays. False for a null song, without player_init or player_init_offline,
 * or when the song's tempo gives no frames per tick. */
KORVANTI_PLAYER_API bool song_render_start(Song* song);
/* Renders the next block: returns its player_block_frames() frames, owned by
 * the player and valid until the next call or song_stop, and copies its
 * description to `snapshot` when that is not null. Null when no song was
 * started with song_render_start (or one plays live). End with song_stop. */
KORVANTI_PLAYER_API const int16_t* song_render_next(SyncSnapshot* snapshot);

/* ---- The song's end --------------------------------------------------- */

typedef struct SongEnd {
    int64_t frame;  /* first frame of the tick that came back to a played row, from the song's beginning */
    int32_t order;  /* the order position and row play came back to */
    int32_t row;
} SongEnd;

/* Passes through the song that make its end: 1 after song_load; n > 1 ends
 * at the n-th return, the rows played being forgotten at each; 0 never
 * ends. Counts from the next song_play, song_play_from, song_render_start
 * or song_scan_start. False for a null song or a negative count. */
KORVANTI_PLAYER_API bool song_set_passes(Song* song, int32_t passes);
/* The end, once the play, render or scan of `song` under way (or the last
 * one) has come to it: true and `end` filled. False, with end->frame -1,
 * while it has not, or when `song` is not the one last started; false for
 * a null song or end. An offline render that keeps the frames of each block
 * before end->frame holds the song exactly once (or `passes` times). */
KORVANTI_PLAYER_API bool song_end(const Song* song, SongEnd* end);

/* ---- Scanning a song -------------------------------------------------
 * The song's ticks run from its beginning without mixing, hundreds of
 * times faster than rendering, with the frames each tick would take: to
 * find the song's length (song_end) or where its rows start. */

typedef struct SongRowStart {
    int64_t frame;  /* first frame of the row, from the song's beginning */
    int32_t order;
    int32_t row;
} SongRowStart;

/* Stops whatever plays and starts a scan of `song`. False for a null song,
 * without player_init or player_init_offline, or when the song's tempo
 * gives no frames per tick. End it with song_stop, which leaves the voices
 * as the scan found them. */
KORVANTI_PLAYER_API bool song_scan_start(Song* song);
/* Runs ticks up to and including the next one that starts a row and fills
 * `row`; false, filling nothing, when no scan runs or the next tick would
 * start at or after frame `frame_limit`. */
KORVANTI_PLAYER_API bool song_scan_next_row(SongRowStart* row, int64_t frame_limit);

#ifdef __cplusplus
}
#endif

#endif
