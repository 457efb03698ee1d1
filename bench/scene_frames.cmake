# scene_frames draws the four scenes into a 640x480 window (run it under
# Xvfb) and needs the scenes, GL, SDL and the scene tests' window helpers.
if(NOT KORVANTI_UNIT_ONLY AND TARGET scenes AND TARGET platform_shell)
  add_executable(scene_frames ${src}
    ${PROJECT_SOURCE_DIR}/tests/scenes/scene_window.cpp
    ${PROJECT_SOURCE_DIR}/tests/scenes/scene_assets.cpp)
  target_include_directories(scene_frames PRIVATE ${PROJECT_SOURCE_DIR}/tests/scenes)
  target_compile_definitions(scene_frames PRIVATE SCENES_BENCH_RUNDIR="${CMAKE_BINARY_DIR}/rundir")
  target_link_libraries(scene_frames PRIVATE scenes image platform_shell player player_device_virtual
                        SDL2::SDL2 OpenGL::GL OpenGL::GLU benchmark::benchmark)
endif()
