/* The sizes and field offsets of every record the header declares, and the
 * sizes of its enums and callback type, listed once and compiled both as C
 * (c_api_test.c) and as C++ (c_api_layout.cpp). */
#define LAYOUT(record, field) offsetof(record, field)
#define RECORD_LAYOUT \
    sizeof(korvanti_song_info), LAYOUT(korvanti_song_info, name), LAYOUT(korvanti_song_info, tracker_name), \
    LAYOUT(korvanti_song_info, format_version), LAYOUT(korvanti_song_info, channel_count), \
    LAYOUT(korvanti_song_info, song_length), LAYOUT(korvanti_song_info, restart_position), \
    LAYOUT(korvanti_song_info, pattern_count), LAYOUT(korvanti_song_info, instrument_count), \
    LAYOUT(korvanti_song_info, sample_count), LAYOUT(korvanti_song_info, linear_frequencies), \
    LAYOUT(korvanti_song_info, default_speed), LAYOUT(korvanti_song_info, default_bpm), \
    LAYOUT(korvanti_song_info, orders), \
    sizeof(korvanti_instrument_info), LAYOUT(korvanti_instrument_info, name), \
    LAYOUT(korvanti_instrument_info, sample_count), \
    sizeof(korvanti_sample_info), LAYOUT(korvanti_sample_info, name), LAYOUT(korvanti_sample_info, length), \
    LAYOUT(korvanti_sample_info, loop_start), LAYOUT(korvanti_sample_info, loop_length), \
    LAYOUT(korvanti_sample_info, loop_type), LAYOUT(korvanti_sample_info, stored_bits), \
    sizeof(korvanti_song_end), LAYOUT(korvanti_song_end, frame), LAYOUT(korvanti_song_end, returns), \
    LAYOUT(korvanti_song_end, order), LAYOUT(korvanti_song_end, row), \
    sizeof(korvanti_channel_state), LAYOUT(korvanti_channel_state, note_struck), \
    LAYOUT(korvanti_channel_state, volume), LAYOUT(korvanti_channel_state, panning), \
    LAYOUT(korvanti_channel_state, instrument), LAYOUT(korvanti_channel_state, note), \
    sizeof(korvanti_position), LAYOUT(korvanti_position, frame), LAYOUT(korvanti_position, order), \
    LAYOUT(korvanti_position, row), LAYOUT(korvanti_position, speed), LAYOUT(korvanti_position, bpm), \
    LAYOUT(korvanti_position, pass), LAYOUT(korvanti_position, channel_count), \
    LAYOUT(korvanti_position, channels), \
    sizeof(korvanti_sync_snapshot), LAYOUT(korvanti_sync_snapshot, order), LAYOUT(korvanti_sync_snapshot, row), \
    LAYOUT(korvanti_sync_snapshot, elapsed_ms), LAYOUT(korvanti_sync_snapshot, channel_notes), \
    sizeof(bool), sizeof(enum korvanti_error), sizeof(enum korvanti_sample_loop), sizeof(enum korvanti_device), \
    sizeof(korvanti_read_fn)
