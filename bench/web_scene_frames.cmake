# web_scene_frames plays the web page (scripts/build-web) in headless
# Chromium and reads each scene's frame rate off the page's title, then
# draws the same scenes natively offscreen (Mesa, through the capture tool's
# EGL context, as the web tests do); it uses the web tests' browser driver
# and native scenes and the tests' sound server. Not a Google Benchmark
# program: the page runs in real time.
if(TARGET test_support AND TARGET capture_core AND EXISTS ${PROJECT_SOURCE_DIR}/tests/web/browser.cpp)
  add_executable(web_scene_frames ${src} ${PROJECT_SOURCE_DIR}/tests/web/browser.cpp
                 ${PROJECT_SOURCE_DIR}/tests/web/native_frames.cpp)
  target_link_libraries(web_scene_frames PRIVATE test_support capture_core scenes player)
endif()
