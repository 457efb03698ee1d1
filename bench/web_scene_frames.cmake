# web_scene_frames plays the web page (scripts/build-web) in headless
# Chromium and reads each scene's frame rate off the page's title; it uses
# the web tests' browser driver and the tests' sound server. Not a Google
# Benchmark program: the page runs in real time.
if(TARGET test_support AND EXISTS ${PROJECT_SOURCE_DIR}/tests/web/browser.cpp)
  add_executable(web_scene_frames ${src} ${PROJECT_SOURCE_DIR}/tests/web/browser.cpp)
  target_link_libraries(web_scene_frames PRIVATE test_support player)
endif()
