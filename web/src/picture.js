// The traced picture on the page's canvas. Rows are put on the canvas as they
// arrive, pixel for pixel (putImageData: no smoothing, no colour conversion),
// so the canvas holds exactly the bytes the tracer made. An animation's frames
// are shown one after another, none sooner than FRAMES_PER_SECOND allows: a
// frame traced early waits, whole, until its time has come.
export class Picture {
  constructor(canvas) {
    this.canvas = canvas;
    this.context = canvas.getContext('2d', { willReadFrequently: true });
    this.frames = [];
    this.shown = -1;
    this.shownAt = 0;
    this.timer = 0;
    this.onAllShown = null;
  }

  // Forgets the frames of the last run; what is on the canvas stays.
  reset() {
    clearTimeout(this.timer);
    this.frames = [];
    this.shown = -1;
    this.onAllShown = null;
  }

  startFrame({ width, height, index = 0, count = 1, fps = 0 }) {
    this.frames.push({ width, height, index, count, fps, image: new ImageData(width, height), done: false });
    if (this.shown < 0) this.show(0);
    else this.advance();
  }

  // Rows y0..y1-1 of the frame traced now.
  rows({ y0, y1, width, pixels }) {
    const frame = this.frames[this.frames.length - 1];
    if (!frame || y1 <= y0) return;
    const data =
      pixels instanceof Uint8ClampedArray
        ? pixels
        : new Uint8ClampedArray(pixels.buffer, pixels.byteOffset, pixels.byteLength);
    if (frame.image) frame.image.data.set(data, y0 * frame.width * 4);
    if (this.frames.length - 1 === this.shown)
      this.context.putImageData(new ImageData(data, width, y1 - y0), 0, y0);
  }

  frameDone() {
    const frame = this.frames[this.frames.length - 1];
    if (frame) frame.done = true;
    this.advance();
  }

  // Calls back once every frame traced so far has been shown its full time.
  whenAllShown(callback) {
    this.onAllShown = callback;
    this.advance();
  }

  show(i) {
    const frame = this.frames[i];
    if (this.canvas.width !== frame.width || this.canvas.height !== frame.height) {
      this.canvas.width = frame.width;
      this.canvas.height = frame.height;
    }
    this.context.putImageData(frame.image, 0, 0);
    // A shown frame's own copy is no longer needed.
    if (i > 0) this.frames[i - 1].image = null;
    this.shown = i;
    this.shownAt = performance.now();
  }

  advance() {
    clearTimeout(this.timer);
    const current = this.frames[this.shown];
    if (!current || !current.done) return;
    const fps = current.fps > 0 ? current.fps : 0;
    const due = fps > 0 ? this.shownAt + 1000 / fps : 0;
    const wait = due - performance.now();
    const hasNext = this.shown + 1 < this.frames.length;
    // The last frame of an animation is also shown for its full time.
    if (wait > 0 && (hasNext || (this.onAllShown && current.count > 1))) {
      this.timer = setTimeout(() => this.advance(), wait);
      return;
    }
    if (hasNext) {
      this.show(this.shown + 1);
      this.advance();
      return;
    }
    if (this.onAllShown) {
      const callback = this.onAllShown;
      this.onAllShown = null;
      callback();
    }
  }

  // The picture as a PNG file.
  pngBlob() {
    return new Promise((resolve) => this.canvas.toBlob(resolve, 'image/png'));
  }
}
