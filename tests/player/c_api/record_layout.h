/* The sizes and field offsets of the header's records, listed once and
 * compiled both as C (c_api_test.c) and as C++ (c_api_layout.cpp). */
#define LAYOUT(record, field) offsetof(record, field)
#define RECORD_LAYOUT \
    sizeof(SyncSnapshot),  LAYOUT(SyncSnapshot, row),           LAYOUT(SyncSnapshot, elapsed_ms), \
    LAYOUT(SyncSnapshot, channel_notes), \
    sizeof(SongInfo),      LAYOUT(SongInfo, tracker_name),      LAYOUT(SongInfo, format_version), \
    LAYOUT(SongInfo, channel_count),                            LAYOUT(SongInfo, linear_frequencies), \
    LAYOUT(SongInfo, default_speed),                            LAYOUT(SongInfo, orders), \
    sizeof(InstrumentInfo), LAYOUT(InstrumentInfo, sample_count), \
    sizeof(SampleInfo),    LAYOUT(SampleInfo, length),          LAYOUT(SampleInfo, loop_type), \
    LAYOUT(SampleInfo, stored_bits), \
    sizeof(SongEnd),       LAYOUT(SongEnd, order),              LAYOUT(SongEnd, row), \
    sizeof(SongRowStart),  LAYOUT(SongRowStart, order), \
    sizeof(bool),          sizeof(enum SampleLoopType),
