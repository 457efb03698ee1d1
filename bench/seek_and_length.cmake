# A plain program: it times with the thread's CPU clock itself.
add_executable(seek_and_length ${src})
target_link_libraries(seek_and_length PRIVATE korvanti_player_static)
