// The calls the demo makes to its web page (an Emscripten JavaScript
// library). The page's own code (page.js) keeps the state, the events and
// the sound; these pass the demo's requests on to it.
mergeInto(LibraryManager.library, {
  korvanti_page_create_context__deps: ['$Browser'],
  korvanti_page_create_context: function () {
    // The desktop's pixel format: RGB without alpha, a depth buffer, no
    // stencil, no multisampling; WebGL 1 under the fixed-function emulation.
    var context = Browser.createContext(Module['canvas'], true, true,
      { alpha: false, depth: true, stencil: false, antialias: false, majorVersion: 1,
        preserveDrawingBuffer: true });
    return context ? 1 : 0;
  },
  korvanti_page_next_event: function (kind, key) {
    var event = korvantiPage.nextEvent();
    if (!event) return 0;
    HEAP32[kind >> 2] = event.kind;
    HEAP32[key >> 2] = event.key;
    return 1;
  },
  korvanti_page_set_title: function (title) {
    document.title = UTF8ToString(title);
  },
  korvanti_page_report: function (caption, text) {
    korvantiPage.report(UTF8ToString(caption), UTF8ToString(text));
  },
  korvanti_page_state: function (state) {
    korvantiPage.setState(UTF8ToString(state));
  },
  korvanti_page_frame_drawn: function (text) {
    korvantiPage.frameDrawn(UTF8ToString(text));
  },
  korvanti_audio_push: function (frames, count) {
    korvantiPage.pushSound(HEAP16.slice(frames >> 1, (frames >> 1) + count * 2));
  },
  korvanti_audio_heard: function () {
    return korvantiPage.framesHeard();
  },
  korvanti_audio_stop: function () {
    korvantiPage.stopSound();
  },
});
