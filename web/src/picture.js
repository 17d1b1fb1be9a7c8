// The traced picture on the page's canvas. Rows are put on the canvas as they
// arrive, pixel for pixel (putImageData: no smoothing, no colour conversion),
// so the canvas holds exactly the bytes the tracer made. They are drawn in
// batches, a few milliseconds' worth per display frame, so that no picture is
// too big for the page to stay responsive. An animation's frames are shown
// one after another, none sooner than FRAMES_PER_SECOND allows: a frame
// traced early waits, whole, until its time has come.

// The drawing the page does per display frame, at most (about).
const DRAW_BUDGET_MS = 8;
// Rows of one putImageData, at most this many pixels.
const DRAW_PIXELS = 1 << 19;

export class Picture {
  constructor(canvas) {
    this.canvas = canvas;
    this.context = canvas.getContext('2d', { willReadFrequently: true });
    this.frames = new Map();
    this.shown = -1;
    this.shownAt = 0;
    this.timer = 0;
    this.onAllShown = null;
    this.onResize = null;
    // Rows waiting to be drawn on the canvas: {y0, rows, width, data}.
    this.queue = [];
    this.drawing = 0;
  }

  // Forgets the frames of the last run; what is on the canvas stays.
  reset() {
    clearTimeout(this.timer);
    this.frames = new Map();
    this.shown = -1;
    this.onAllShown = null;
    this.queue = [];
  }

  // Frame `index` starts. A still picture is drawn straight on the canvas;
  // an animation's frames keep their own copy until they are shown.
  startFrame({ width, height, index = 0, count = 1, fps = 0 }) {
    if (this.frames.has(index)) return;
    const image = count > 1 ? new ImageData(width, height) : null;
    this.frames.set(index, { width, height, index, count, fps, image, done: false });
    if (this.shown < 0 && index === 0) this.show(0);
    else this.advance();
  }

  // Rows y0..y1-1 of frame `index`.
  rows({ index = 0, y0, y1, width, pixels }) {
    const frame = this.frames.get(index);
    if (!frame || y1 <= y0) return;
    const data =
      pixels instanceof Uint8ClampedArray
        ? pixels
        : new Uint8ClampedArray(pixels.buffer, pixels.byteOffset, pixels.byteLength);
    if (frame.image) frame.image.data.set(data, y0 * frame.width * 4);
    if (index === this.shown) this.enqueue(y0, y1 - y0, width, data);
  }

  enqueue(y0, rows, width, data) {
    const step = Math.max(1, Math.floor(DRAW_PIXELS / Math.max(1, width)));
    for (let r = 0; r < rows; r += step) {
      const n = Math.min(step, rows - r);
      this.queue.push({ y0: y0 + r, rows: n, width, data: data.subarray(r * width * 4, (r + n) * width * 4) });
    }
    if (!this.drawing) this.drawing = requestAnimationFrame(() => this.draw());
  }

  // Draws queued rows for a few milliseconds; the rest in the next frame.
  draw() {
    this.drawing = 0;
    const start = performance.now();
    while (this.queue.length && performance.now() - start < DRAW_BUDGET_MS) {
      const { y0, rows, width, data } = this.queue.shift();
      this.context.putImageData(new ImageData(data, width, rows), 0, y0);
    }
    if (this.queue.length) this.drawing = requestAnimationFrame(() => this.draw());
    else this.advance();
  }

  frameDone(index = 0) {
    const frame = this.frames.get(index);
    if (frame) frame.done = true;
    this.advance();
  }

  // Calls back once every frame traced so far has been shown its full time.
  whenAllShown(callback) {
    this.onAllShown = callback;
    this.advance();
  }

  show(i) {
    const frame = this.frames.get(i);
    this.queue = [];
    if (this.canvas.width !== frame.width || this.canvas.height !== frame.height) {
      this.canvas.width = frame.width;
      this.canvas.height = frame.height;
      this.onResize?.(frame.width, frame.height);
    }
    if (frame.image) {
      this.enqueue(0, frame.height, frame.width, frame.image.data);
    } else {
      // Black until its rows come: a fill, not a picture's worth of bytes.
      this.context.fillStyle = '#000';
      this.context.fillRect(0, 0, frame.width, frame.height);
    }
    // A shown frame's own copy is no longer needed.
    this.frames.delete(i - 1);
    this.shown = i;
    this.shownAt = performance.now();
  }

  advance() {
    clearTimeout(this.timer);
    const current = this.frames.get(this.shown);
    if (!current || !current.done || this.queue.length) return;
    const fps = current.fps > 0 ? current.fps : 0;
    const due = fps > 0 ? this.shownAt + 1000 / fps : 0;
    const wait = due - performance.now();
    const next = this.frames.get(this.shown + 1);
    const hasNext = !!next;
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
