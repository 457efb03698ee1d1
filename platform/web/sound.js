// The page's sound: an AudioWorklet that plays the demo's blocks in the
// order they come (interleaved 16-bit stereo at the context's 44100 Hz), and
// silence while none waits. It tells the page how many song frames it has
// played by the end of which context frame, from which the page reckons the
// frame heard now.
'use strict';

const REPORT_FRAMES = 512;  // about 12 ms between reports

class KorvantiSound extends AudioWorkletProcessor {
  constructor() {
    super();
    this.blocks = [];
    this.block = null;    // the block being played, an Int16Array
    this.offset = 0;      // values of it played
    this.played = 0;      // song frames played
    this.missed = 0;      // frames of silence since the song began: blocks came late
    this.unreported = 0;  // frames since the last report
    this.stopped = false;
    this.port.onmessage = (event) => {
      if (event.data === 'stop') {
        this.stopped = true;
        this.blocks = [];
        this.block = null;
      } else {
        this.blocks.push(event.data);
      }
    };
  }

  process(inputs, outputs) {
    const left = outputs[0][0];
    const right = outputs[0][1];
    for (let i = 0; i < left.length; i++) {
      if (this.block === null || this.offset === this.block.length) {
        this.block = this.blocks.length > 0 ? this.blocks.shift() : null;
        this.offset = 0;
      }
      if (this.block === null) {
        left[i] = 0;
        right[i] = 0;
        if (this.played > 0) this.missed++;
        continue;
      }
      // Exact in float: every 16-bit value divided by 2^15.
      left[i] = this.block[this.offset] / 32768;
      right[i] = this.block[this.offset + 1] / 32768;
      this.offset += 2;
      this.played++;
    }
    this.unreported += left.length;
    if (this.unreported >= REPORT_FRAMES || this.stopped) {
      this.unreported = 0;
      this.port.postMessage({ frame: currentFrame + left.length, played: this.played, missed: this.missed });
    }
    return !this.stopped;
  }
}

registerProcessor('korvanti-sound', KorvantiSound);
