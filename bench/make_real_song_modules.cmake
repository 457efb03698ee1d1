# Not a Google Benchmark program: writes the real-song-like modules that
# xmplay_vs_xmp.sh plays with the set "real".
add_executable(make_real_song_modules ${src})
target_link_libraries(make_real_song_modules PRIVATE xm_writer)
