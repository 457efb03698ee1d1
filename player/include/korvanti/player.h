/* korvanti player: loads XM (Extended Module) files and renders them, bit
 * for bit the same on every system, to 16-bit stereo PCM: offline into the
 * caller's buffer, or live through a sound device of the player's own.
 *
 * Units and words used below:
 *   frame      one left/right pair of signed 16-bit samples (4 bytes),
 *              interleaved, left first, in the host's byte order
 *   rate       frames per second, KORVANTI_RATE_MIN..MAX (44100 is usual)
 *   block      korvanti_player_block_frames() frames, a little over 20 ms;
 *              the player renders block by block, counted from the song's
 *              start, and describes each block it renders
 *   order      a position in the song's order table (0..255); each names
 *              the pattern played there
 *   row        a row of that pattern; speed is ticks per row, BPM sets
 *              the length of a tick (2.5 / BPM seconds)
 *   pass       one play through the song: from its start to where play
 *              comes back to a row it has already played (the wrap after
 *              the last order, or a backward jump; the repeats of a
 *              pattern loop, E6x, do not count), or 2 hours of sound,
 *              whichever comes first
 *
 * Objects. A korvanti_song is a loaded module; nothing a player does
 * changes it, so any number of players may play one song at once. A
 * korvanti_player holds everything a play needs. Any number of players live
 * in one process; use each from one thread at a time (different players may
 * run on different threads at once). A live player renders ahead of its
 * device on a thread of its own between start and stop.
 *
 * Every start is a first start: a song started on a player sounds the same,
 * bit for bit, whatever that player or any other played before. Output
 * settings (gain, stereo separation, mutes, passes) belong to the player and
 * stay across starts; their defaults give the player's exact output.
 *
 * Errors: functions returning int or int64_t give a negative
 * korvanti_error on failure (korvanti_error_message tells it in a line);
 * those returning a pointer give null and store the code through `error`
 * when it is not null (0 on success). A refused call changes nothing.
 * Nothing is printed.
 *
 * The header is C99 and C++ alike. */
#ifndef KORVANTI_PLAYER_H
#define KORVANTI_PLAYER_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#define KORVANTI_VERSION_MAJOR 2
#define KORVANTI_VERSION_MINOR 0
#define KORVANTI_VERSION_PATCH 0
#define KORVANTI_VERSION "2.0.0"

/* What the shared library exports; everything else in it stays hidden. */
#if defined(__GNUC__) && !defined(_WIN32)
#define KORVANTI_API __attribute__((visibility("default")))
#else
#define KORVANTI_API
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* The library's version, "MAJOR.MINOR.PATCH"; a static string. */
KORVANTI_API const char* korvanti_version(void);

/* ---- Errors ------------------------------------------------------------ */

enum korvanti_error {
    KORVANTI_OK = 0,
    KORVANTI_ERROR_ARGUMENT = -1,    /* a null pointer, or a value outside its range */
    KORVANTI_ERROR_MEMORY = -2,      /* out of memory */
    KORVANTI_ERROR_OPEN = -3,        /* the file cannot be opened */
    KORVANTI_ERROR_READ = -4,        /* reading failed */
    KORVANTI_ERROR_FORMAT = -5,      /* not an XM module */
    KORVANTI_ERROR_UNSUPPORTED = -6, /* an XM module the player does not take (more than 32 channels,
                                        more than 256 patterns or instruments, a pattern over 256 rows) */
    KORVANTI_ERROR_DEVICE = -7,      /* the sound device cannot be opened, or cannot play */
    KORVANTI_ERROR_STATE = -8,       /* not now: no song started, or the call is for the other kind of player */
    KORVANTI_ERROR_RANGE = -9,       /* a position at or past the end, or one a pass never reaches */
    KORVANTI_ERROR_UNAVAILABLE = -10 /* not in this build or on this processor */
};

/* One line for a person, without a full stop; a static string (also for
 * codes that are not errors). */
KORVANTI_API const char* korvanti_error_message(int code);

/* ---- Songs ------------------------------------------------------------- */

typedef struct korvanti_song korvanti_song;

/* Loads the module from `size` bytes at `data` (copied; the caller keeps
 * them). Null on failure, with the code in *error. */
KORVANTI_API korvanti_song* korvanti_song_load_memory(const void* data, size_t size, int* error);
/* Loads the module from the named file. */
KORVANTI_API korvanti_song* korvanti_song_load_file(const char* path, int* error);
/* The caller's reader: copies up to `size` bytes into `buffer` and returns
 * how many (0 at the end), or a negative number when reading fails, which
 * fails the load with KORVANTI_ERROR_READ. Called until it returns 0. */
typedef int64_t (*korvanti_read_fn)(void* user, void* buffer, size_t size);
KORVANTI_API korvanti_song* korvanti_song_load_callbacks(korvanti_read_fn read, void* user, int* error);
/* Stops every player playing the song (their renders then give 0 frames)
 * and releases it. The caller must not free a song while another thread is
 * inside a call on a player that plays it. Null: nothing. */
KORVANTI_API void korvanti_song_free(korvanti_song* song);

/* A module that loads with damage (a file cut short, a sample loop that
 * reaches past its sample) plays what is there; each damage is one warning,
 * a line for a person such as "cut short after 1200 bytes: the end of
 * pattern 2, patterns 3-4, all 5 instruments missing". */
KORVANTI_API int32_t korvanti_song_warning_count(const korvanti_song* song);
/* Warning `index` (0 .. count - 1), valid as long as the song; null outside. */
KORVANTI_API const char* korvanti_song_warning(const korvanti_song* song, int32_t index);

/* What a module holds. Names are the bytes stored in the file up to the
 * first zero byte, with trailing blanks removed, zero-terminated; the bytes
 * are not checked (trackers store any 8-bit character set). */

enum korvanti_sample_loop {
    KORVANTI_SAMPLE_LOOP_NONE = 1,
    KORVANTI_SAMPLE_LOOP_FORWARD = 2,
    KORVANTI_SAMPLE_LOOP_PINGPONG = 4
};

typedef struct korvanti_song_info {
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
} korvanti_song_info;

typedef struct korvanti_instrument_info {
    char name[23];         /* at most 22 bytes */
    int32_t sample_count;  /* 0..16 */
} korvanti_instrument_info;

typedef struct korvanti_sample_info {
    char name[23];         /* at most 22 bytes */
    uint32_t length;       /* frames, as loaded: no more than the file holds */
    uint32_t loop_start;   /* first frame of the loop; 0 without a loop */
    uint32_t loop_length;  /* frames in the loop; length without a loop */
    uint8_t loop_type;     /* a korvanti_sample_loop */
    uint8_t stored_bits;   /* 8 or 16: the width of the data in the file */
} korvanti_sample_info;

KORVANTI_API int korvanti_song_get_info(const korvanti_song* song, korvanti_song_info* info);
/* Instrument `instrument`, 0 .. instrument_count - 1. */
KORVANTI_API int korvanti_song_get_instrument_info(const korvanti_song* song, int32_t instrument,
                                                   korvanti_instrument_info* info);
/* Sample `sample` (0 .. its sample_count - 1) of instrument `instrument`. */
KORVANTI_API int korvanti_song_get_sample_info(const korvanti_song* song, int32_t instrument, int32_t sample,
                                               korvanti_sample_info* info);

/* Where a play of the song ends, found from the song's rows alone (orders,
 * rows, speed, tempo, jumps and loops; nothing is mixed), the frame being
 * the one a render at `rate` stops at. */
typedef struct korvanti_song_end {
    int64_t frame;  /* frames up to the end: first frame of the tick that came back to a played row,
                       or 2 hours of sound when play never comes back */
    bool returns;   /* play came back to a row it had played: the order and row are where */
    int32_t order;
    int32_t row;
} korvanti_song_end;

/* The end after `passes` passes (1 and up). Safe while players play the song. */
KORVANTI_API int korvanti_song_find_end(const korvanti_song* song, int32_t rate, int32_t passes,
                                        korvanti_song_end* end);
/* The length of one pass in frames at `rate`: korvanti_song_find_end's frame. */
KORVANTI_API int64_t korvanti_song_length_frames(const korvanti_song* song, int32_t rate);
/* The first frame of row `row` of order position `order` as one pass first
 * reaches it; KORVANTI_ERROR_RANGE when the pass never does. */
KORVANTI_API int64_t korvanti_song_position_frame(const korvanti_song* song, int32_t rate, int32_t order,
                                                  int32_t row);

/* ---- Players ----------------------------------------------------------- */

typedef struct korvanti_player korvanti_player;

/* The rates players take, frames per second. */
#define KORVANTI_RATE_MIN 8000
#define KORVANTI_RATE_MAX 192000

/* A player that renders into the caller's buffer; no device. */
KORVANTI_API korvanti_player* korvanti_player_create(int32_t rate, int* error);

enum korvanti_device {
    KORVANTI_DEVICE_SOUND = 0, /* the system's sound output (SDL2 audio, opened at run time, on Linux;
                                  wave-out on Windows) */
    KORVANTI_DEVICE_CLOCK = 1  /* no sound: the song advances with the clock as if it were heard */
};

/* A player with a live device of its own, opened now. On failure null,
 * with the code in *error and, when `reason` is not null, one line for a
 * person on what went wrong and what might help, in `reason_size` bytes. */
KORVANTI_API korvanti_player* korvanti_player_create_live(int32_t rate, int device, int* error, char* reason,
                                                          size_t reason_size);
/* Stops what plays, closes the device and releases the player. Null: nothing. */
KORVANTI_API void korvanti_player_destroy(korvanti_player* player);

KORVANTI_API int32_t korvanti_player_rate(const korvanti_player* player);
/* Frames per block at the player's rate; 0 for a null player. */
KORVANTI_API int32_t korvanti_player_block_frames(const korvanti_player* player);

/* Starts `song` from its beginning. Offline, korvanti_player_render then
 * gives its frames; live, the player renders about two seconds ahead,
 * hands them to the device and keeps rendering on its thread
 * (KORVANTI_ERROR_DEVICE, with nothing playing, when the device refuses the
 * sound: korvanti_player_device_error says why). */
KORVANTI_API int korvanti_player_start(korvanti_player* player, korvanti_song* song);
/* Live: one line for a person on why the device failed last, "" when it
 * has not; a string owned by the player. */
KORVANTI_API const char* korvanti_player_device_error(const korvanti_player* player);
/* Ends the play: a live device falls silent at once. Harmless when nothing plays. */
KORVANTI_API int korvanti_player_stop(korvanti_player* player);
/* Live: holds the device where it is (true) or lets it go on (false); the
 * sound and the position heard stand still meanwhile. */
KORVANTI_API int korvanti_player_pause(korvanti_player* player, bool paused);
/* Passes from each start to the end of the play: 1 at creation, 0 for
 * without end. Counts from the next start. */
KORVANTI_API int korvanti_player_set_passes(korvanti_player* player, int32_t passes);

/* Offline: renders up to `frame_count` frames into `frames` (2 values each)
 * and returns how many it wrote: fewer than asked only at the end of the
 * play, and 0 from then on. Concatenated, the renders of a play are the
 * player's exact output whatever the counts asked for. */
KORVANTI_API int64_t korvanti_player_render(korvanti_player* player, int16_t* frames, int64_t frame_count);

/* Seeks go where play from the start would be, bit for bit: what follows a
 * seek equals a render from the start with what came before dropped. They
 * work offline and live, within the play's passes. */
/* To the first frame of row `row` of order position `order`, as the song's
 * own course first reaches it. */
KORVANTI_API int korvanti_player_seek_order(korvanti_player* player, int32_t order, int32_t row);
/* To frame floor(ms * rate / 1000) of the play. */
KORVANTI_API int korvanti_player_seek_ms(korvanti_player* player, int64_t ms);
/* To frame `frame` of the play, counted from its start. */
KORVANTI_API int korvanti_player_seek_frame(korvanti_player* player, int64_t frame);

/* Output settings, per player, kept across starts; the defaults (0 dB, 100 %,
 * nothing muted) give the exact output. Live, a change is heard at once: play
 * goes on from the start of the block heard (up to one block is heard again),
 * rendered anew. */
/* Gain in decibels, applied before the output is clipped to 16 bits;
 * -100..+40, not NaN. */
KORVANTI_API int korvanti_player_set_gain_db(korvanti_player* player, double db);
/* Stereo separation, 0 (mono) .. 100 (as the song pans). */
KORVANTI_API int korvanti_player_set_stereo_separation(korvanti_player* player, int32_t percent);
/* A muted channel (0..31) adds nothing to the output; what it does to the
 * song's course (jumps, tempo, global volume) still happens. */
KORVANTI_API int korvanti_player_set_channel_muted(korvanti_player* player, int32_t channel, bool muted);
/* The mixer's inner loops, for measurements: "plain", "sse2", "avx2",
 * "avx512", or null for the fastest this processor runs. All give the same
 * bits. KORVANTI_ERROR_UNAVAILABLE where the build or processor lacks them. */
KORVANTI_API int korvanti_player_set_mixer(korvanti_player* player, const char* name);
/* The name of the loops in use. */
KORVANTI_API const char* korvanti_player_mixer(const korvanti_player* player);

/* ---- What is heard ----------------------------------------------------- */

typedef struct korvanti_channel_state {
    bool note_struck;    /* the row gave the channel a note */
    int32_t volume;      /* the volume heard, 0..64 (envelopes, fadeout and global volume applied) */
    int32_t panning;     /* 0 left .. 255 right, 128 centre */
    int32_t instrument;  /* 1..128; 0 while the channel is silent */
    int32_t note;        /* 1..96 (1 = C-0); 0 while the channel is silent */
} korvanti_channel_state;

typedef struct korvanti_position {
    int64_t frame;        /* live: the frame heard now; offline: the frames rendered so far */
    int32_t order;        /* order position */
    int32_t row;
    int32_t speed;        /* ticks per row */
    int32_t bpm;
    int32_t pass;         /* 0 in the first pass, 1 in the second, ... */
    int32_t channel_count;
    korvanti_channel_state channels[32];  /* channel_count of them */
} korvanti_position;

/* Where the play stands, as described at the end of the block that holds
 * the frame heard (live) or the last frame rendered (offline). A player
 * that plays nothing gives KORVANTI_ERROR_STATE. */
KORVANTI_API int korvanti_player_get_position(const korvanti_player* player, korvanti_position* position);

/* The description of one block, as the player has always given it. Packed:
 * 134 bytes. */
#pragma pack(push, 1)
typedef struct korvanti_sync_snapshot {
    uint8_t order;              /* low 8 bits of the order position at the end of the block */
    uint8_t row;                /* low 8 bits of the row at the end of the block */
    int32_t elapsed_ms;         /* milliseconds of audio rendered up to the end of the block */
    int32_t channel_notes[32];  /* 1: the row gave the channel a note; 0 from channel_count on */
} korvanti_sync_snapshot;
#pragma pack(pop)

/* The snapshot of block `block` (counted from the song's start) of the
 * current play, once it is rendered and while it is among the last 100
 * rendered; KORVANTI_ERROR_RANGE otherwise. */
KORVANTI_API int korvanti_player_get_snapshot(const korvanti_player* player, int64_t block,
                                              korvanti_sync_snapshot* snapshot);
/* The end of the current play once it has been rendered to (offline) or
 * heard (live): KORVANTI_OK and `end` filled; KORVANTI_ERROR_RANGE before. */
KORVANTI_API int korvanti_player_get_end(const korvanti_player* player, korvanti_song_end* end);

#ifdef __cplusplus
}
#endif

#endif
