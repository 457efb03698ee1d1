// korvanti's web page: loads the data beside the page, offers the start
// ("click to start": browsers let a page sound only after a gesture, unless
// ?autostart finds it allowed), runs the demo and plays its sound. The state
// is on document.documentElement.dataset.state: loading, ready (the start
// offered), playing (the music is heard), ended (by itself or by Escape),
// error (a message is on the page; the state stays). korvantiPage.drawn is
// what the frame on the canvas was drawn for (app/main_web.cpp writes it,
// after the frame's drawing is flushed), for a test that draws the same
// frame elsewhere; window.korvantiFrameWatch, when set, is called with it
// every frame.
'use strict';

var korvantiPage = (function () {
  var RATE = 44100;
  var DATA_FILES = ['musik.xm', 'Data/gul.tga', 'Data/mask_alpha.tga', 'Data/mask_main.tga',
    'Data/mask2.tga', 'Data/vand.tga', 'Data/hud3_mask.tga', 'Data/hud3.tga',
    'Data/code_mask.tga', 'Data/code.tga'];
  // Event kinds, as app/window_web.cpp numbers them.
  var KEY_DOWN = 1, KEY_UP = 2, QUIT = 3, VISIBLE = 4;

  var root = document.documentElement;
  var events = [];
  var sound = null;     // { context, report, push, stop } once Web Audio plays
  var clockStart = -1;  // without Web Audio: when the song began, in ms
  var lastHeard = -1;
  var started = false;

  function element(id) { return document.getElementById(id); }

  function setState(state) {
    if (root.dataset.state === 'error') return;
    root.dataset.state = state;
    element('start').hidden = state !== 'ready';
    if (state === 'ended') {
      element('canvas').hidden = true;
      element('end').hidden = false;
    }
  }

  // A message box of the desktop, as text on the page.
  function report(caption, text) {
    var line = document.createElement('p');
    var title = document.createElement('strong');
    title.textContent = caption;
    line.appendChild(title);
    line.appendChild(document.createTextNode(' ' + text));
    element('message').appendChild(line);
    element('message').hidden = false;
    setState('error');
  }

  // Keys by their Windows virtual-key numbers, which keyCode gives (Escape 27).
  function onKey(event, kind) {
    if (event.keyCode > 0 && event.keyCode < 256) events.push({ kind: kind, key: event.keyCode });
    if (event.keyCode === 27) event.preventDefault();
  }

  function fullScreen() {
    var stage = element('stage');
    if (!document.fullscreenElement && stage.requestFullscreen) stage.requestFullscreen().catch(function () {});
  }

  // Each file into the program's file system, beside the page as in the
  // desktop's working directory. A file that cannot be had is left out: the
  // demo then says so as on the desktop.
  function loadData() {
    Module.FS.mkdir('/Data');
    return Promise.all(DATA_FILES.map(function (name) {
      return fetch(name).then(function (response) {
        if (!response.ok) return null;
        return response.arrayBuffer().then(function (bytes) {
          Module.FS.writeFile('/' + name, new Uint8Array(bytes));
        });
      }).catch(function () { return null; });
    }));
  }

  // The worklet (sound.js) that plays the blocks on the audio thread.
  function workletSound(context) {
    return context.audioWorklet.addModule('sound.js').then(function () {
      var node = new AudioWorkletNode(context, 'korvanti-sound',
        { numberOfInputs: 0, numberOfOutputs: 1, outputChannelCount: [2] });
      var played = { context: context, report: null, kind: 'worklet' };
      played.push = function (frames) { node.port.postMessage(frames, [frames.buffer]); };
      played.stop = function () { node.port.postMessage('stop'); };
      node.port.onmessage = function (event) { played.report = event.data; };
      node.connect(context.destination);
      return played;
    });
  }

  // Browsers give the worklet only to pages from https or localhost. Served
  // otherwise, the page plays the same blocks the same way from a
  // ScriptProcessorNode, on its own thread, a buffer of 16384 frames (0.37 s)
  // at a time; its reports say the same as the worklet's.
  var PROCESSOR_FRAMES = 16384;
  function processorSound(context) {
    var node = context.createScriptProcessor(PROCESSOR_FRAMES, 0, 2);
    var blocks = [];
    var block = null;
    var offset = 0;
    var played = { context: context, report: null, kind: 'processor', frames: 0, missed: 0 };
    played.push = function (frames) { blocks.push(frames); };
    played.stop = function () {
      blocks = [];
      block = null;
      node.onaudioprocess = null;
      node.disconnect();
    };
    node.onaudioprocess = function (event) {
      var left = event.outputBuffer.getChannelData(0);
      var right = event.outputBuffer.getChannelData(1);
      for (var i = 0; i < left.length; i++) {
        if (block === null || offset === block.length) {
          block = blocks.length > 0 ? blocks.shift() : null;
          offset = 0;
        }
        if (block === null) {
          left[i] = 0;
          right[i] = 0;
          if (played.frames > 0) played.missed++;
          continue;
        }
        left[i] = block[offset] / 32768;
        right[i] = block[offset + 1] / 32768;
        offset += 2;
        played.frames++;
      }
      played.report = {
        frame: Math.round(event.playbackTime * RATE) + left.length,
        played: played.frames,
        missed: played.missed,
      };
    };
    node.connect(context.destination);
    return Promise.resolve(played);
  }

  // Web Audio at the song's rate, with what plays the blocks. Resolves to
  // true once the context runs; false where the browser holds it back (no
  // gesture yet) or has no Web Audio: the page then runs silent, timed by
  // the clock.
  function openSound() {
    var Context = window.AudioContext || window.webkitAudioContext;
    if (!Context) return Promise.resolve(false);
    var worklet = typeof AudioWorkletNode !== 'undefined' && 'audioWorklet' in Context.prototype;
    if (!worklet && !('createScriptProcessor' in Context.prototype)) return Promise.resolve(false);
    var context = sound ? sound.context : new Context({ sampleRate: RATE, latencyHint: 'playback' });
    var ready = sound ? Promise.resolve() : (worklet ? workletSound(context) : processorSound(context))
      .then(function (played) { sound = played; });
    return ready.then(function () {
      var wait = new Promise(function (resolve) { setTimeout(resolve, 1000); });
      return Promise.race([context.resume(), wait]);
    }).then(function () {
      return context.state === 'running';
    }, function () { return false; });
  }

  function start() {
    if (started) return;
    started = true;
    element('start').hidden = true;
    element('canvas').focus();
    Module.callMain([]);
  }

  function onStartClick() {
    // The context is made or resumed within the click, as browsers ask.
    openSound().then(start, start);
  }

  function onRuntimeReady() {
    if (new URLSearchParams(location.search).has('autostart')) {
      openSound().then(function (running) {
        if (running) start(); else setState('ready');
      });
    } else {
      setState('ready');
    }
  }

  // Song frames heard now: from the player's last report and the audio
  // clock's output timestamp; -1 before the first. Without Web Audio, the
  // time since the song began, as if heard.
  function framesHeard() {
    if (!sound) {
      if (clockStart < 0) return -1;
      return Math.floor((performance.now() - clockStart) * RATE / 1000);
    }
    var report = sound.report;
    if (!report || report.played === 0) return -1;
    var context = sound.context;
    var outputFrame;
    var stamp = context.getOutputTimestamp ? context.getOutputTimestamp() : null;
    if (stamp && stamp.contextTime > 0) {
      outputFrame = (stamp.contextTime + (performance.now() - stamp.performanceTime) / 1000) * RATE;
    } else {
      outputFrame = (context.currentTime - (context.outputLatency || context.baseLatency || 0)) * RATE;
    }
    var heard = Math.floor(report.played - (report.frame - outputFrame));
    if (heard > report.played) heard = report.played;
    if (heard < lastHeard) heard = lastHeard;
    lastHeard = heard;
    return heard;
  }

  function pushSound(frames) {
    if (sound) {
      sound.push(frames);
    } else if (clockStart < 0) {
      clockStart = performance.now();
    }
  }

  function stopSound() {
    if (!sound) return;
    sound.stop();
    sound.context.close();
  }

  window.addEventListener('keydown', function (event) {
    if (event.key === 'f' && started) fullScreen();
    onKey(event, KEY_DOWN);
  });
  window.addEventListener('keyup', function (event) { onKey(event, KEY_UP); });
  document.addEventListener('visibilitychange', function () {
    events.push({ kind: VISIBLE, key: document.hidden ? 0 : 1 });
  });
  window.addEventListener('pagehide', function () { events.push({ kind: QUIT, key: 0 }); });
  element('start').addEventListener('click', onStartClick);
  element('canvas').addEventListener('dblclick', fullScreen);

  root.dataset.state = 'loading';
  window.Module = {
    canvas: element('canvas'),
    noInitialRun: true,
    preRun: [function () {
      Module.addRunDependency('data');
      loadData().then(function () { Module.removeRunDependency('data'); });
    }],
    onRuntimeInitialized: onRuntimeReady,
    print: function (text) { console.log(text); },
    printErr: function (text) { console.warn(text); },
    onAbort: function (what) { report('Error', String(what)); },
  };

  var page = {
    drawn: '',
    frameDrawn: function (text) {
      page.drawn = text;
      // A test may watch every frame as it is drawn (set before the page loads).
      if (typeof window.korvantiFrameWatch === 'function') window.korvantiFrameWatch(text);
    },
    nextEvent: function () { return events.shift(); },
    report: report,
    setState: setState,
    pushSound: pushSound,
    framesHeard: framesHeard,
    stopSound: stopSound,
    // What plays the sound: 'worklet', 'processor', or 'clock' (none: silent).
    soundKind: function () { return sound ? sound.kind : 'clock'; },
  };
  return page;
})();
