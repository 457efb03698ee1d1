# Not a Google Benchmark program: writes the modules that xmplay_vs_xmp.sh plays.
add_executable(make_bench_modules ${src})
target_link_libraries(make_bench_modules PRIVATE xm_writer)
