// The traced picture on the page: a stack of canvases of a few rows each
// (strips), so that no single canvas is so big that making, filling or
// showing it holds up the page, and only the strips that change are drawn
// again. Rows are put on them as they arrive, pixel for pixel (putImageData:
// no smoothing, no colour conversion), so they hold exactly the bytes the
// tracer made. They are drawn in batches, a few milliseconds' worth per
// display frame. An animation's frames are shown one after another, none
// sooner than FRAMES_PER_SECOND allows: a frame traced early waits, whole,
// until its time has come.

// The drawing the page does per display frame, at most (about).
const DRAW_BUDGET_MS = 4;
// Pixels of one strip, at most (and of one putImageData).
const STRIP_PIXELS = 1 << 18;
// Strips changed per display frame, at most: each one changed is copied
// whole for the compositor as the frame is committed, on the page's thread.
const STRIPS_PER_FRAME = 4;

// The strips of a picture in `holder`, made as their first rows come.
class Strips {
  constructor(holder) {
    this.holder = holder;
    this.width = 0;
    this.height = 0;
    this.rows = 1;
    this.canvases = [];
    // The live preview's coarse look at a picture of this size, under the
    // strips until their rows cover it.
    this.under = null;
  }

  resize(width, height) {
    this.width = width;
    this.height = height;
    this.rows = Math.max(1, Math.floor(STRIP_PIXELS / Math.max(1, width)));
    this.canvases = [];
    if (this.under && (this.under.pictureWidth !== width || this.under.pictureHeight !== height)) this.under = null;
    this.holder.replaceChildren(...(this.under ? [this.under] : []));
  }

  // Forgets what the strips show: black until rows come.
  clear() {
    this.resize(this.width, this.height);
  }

  strip(i) {
    let c = this.canvases[i];
    if (!c) {
      c = document.createElement('canvas');
      c.width = this.width;
      c.height = Math.min(this.rows, this.height - i * this.rows);
      c.style.top = `${((i * this.rows * 100) / this.height).toFixed(6)}%`;
      c.style.height = `${((c.height * 100) / this.height).toFixed(6)}%`;
      this.canvases[i] = c;
      this.holder.append(c);
      c.context = c.getContext('2d');
    }
    return c;
  }

  // Rows y0.. of `data`, `rows` of them, all within one strip. False when
  // the browser could not keep the strip (it has run out of canvas memory).
  put(y0, rows, width, data) {
    const c = this.strip(Math.floor(y0 / this.rows));
    if (!c.context || c.context.isContextLost?.()) return false;
    c.context.putImageData(new ImageData(data, width, rows), 0, y0 % this.rows);
    return !c.context.isContextLost?.();
  }

  // The whole picture on one canvas, black where no row has come.
  compose() {
    const canvas = document.createElement('canvas');
    canvas.width = this.width;
    canvas.height = this.height;
    const context = canvas.getContext('2d', { willReadFrequently: true });
    context.fillStyle = '#000';
    context.fillRect(0, 0, this.width, this.height);
    this.canvases.forEach((c, i) => c && context.drawImage(c, 0, i * this.rows));
    return canvas;
  }
}

export class Picture {
  constructor(holder) {
    this.holder = holder;
    this.strips = new Strips(holder);
    this.strips.resize(Number(holder.dataset.width) || 320, Number(holder.dataset.height) || 240);
    this.frames = new Map();
    this.shown = -1;
    this.shownAt = 0;
    this.timer = 0;
    this.onAllShown = null;
    this.onResize = null;
    // Called once when the browser cannot hold the picture: (width, height).
    this.onTooBig = null;
    // Rows waiting to be drawn on the canvas: {y0, rows, width, data}.
    this.queue = [];
    this.drawing = 0;
  }

  // Forgets the frames of the last run; what is on the canvas stays.
  reset() {
    clearTimeout(this.timer);
    this.strips.under = null;
    this.frames = new Map();
    this.shown = -1;
    this.onAllShown = null;
    this.queue = [];
  }

  // A coarse pass of the live preview: a bitmap of one sample per block,
  // stretched over the picture (`cover`: how much of its width and height
  // the blocks span) in place of what was shown, until the trace's rows
  // come over it. Drawn by the compositor: no pixels pass the page.
  coarse({ width, height, cover, bitmap }) {
    const c = document.createElement('canvas');
    c.className = 'coarse';
    c.width = bitmap.width;
    c.height = bitmap.height;
    c.getContext('bitmaprenderer').transferFromImageBitmap(bitmap);
    c.style.width = `${(cover[0] * 100).toFixed(6)}%`;
    c.style.height = `${(cover[1] * 100).toFixed(6)}%`;
    c.pictureWidth = width;
    c.pictureHeight = height;
    this.queue = [];
    const resized = this.width !== width || this.height !== height;
    this.strips.under = c;
    this.strips.resize(width, height);
    if (resized) this.onResize?.(width, height);
  }

  // Frame `index` starts. A still picture is drawn straight on its strips;
  // an animation's frames keep their rows until they are shown.
  startFrame({ width, height, index = 0, count = 1, fps = 0 }) {
    if (this.frames.has(index)) return;
    // An animation's frame keeps the rows it is given, as they came: no
    // picture-sized buffer to make and clear.
    const kept = count > 1 ? [] : null;
    this.frames.set(index, { width, height, index, count, fps, kept, done: false });
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
    if (frame.kept) frame.kept.push({ y0, rows: y1 - y0, width, data });
    if (index === this.shown) this.enqueue(y0, y1 - y0, width, data);
  }

  get width() {
    return this.strips.width;
  }

  get height() {
    return this.strips.height;
  }

  // Queues the rows for drawing, cut where the strips meet.
  enqueue(y0, rows, width, data) {
    const step = this.strips.rows;
    for (let r = 0; r < rows; ) {
      const n = Math.min(step - ((y0 + r) % step), rows - r);
      this.queue.push({ y0: y0 + r, rows: n, width, data: data.subarray(r * width * 4, (r + n) * width * 4) });
      r += n;
    }
    this.scheduleDraw();
  }

  // The next display frame; a hidden page has none, and draws on a timer.
  scheduleDraw() {
    if (this.drawing) return;
    const draw = () => this.draw();
    this.drawing = document.hidden ? setTimeout(draw, 0) : requestAnimationFrame(draw);
  }

  // Draws queued rows for a few milliseconds; the rest in the next frame.
  draw() {
    this.drawing = 0;
    const start = performance.now();
    const changed = new Set();
    while (this.queue.length && performance.now() - start < DRAW_BUDGET_MS) {
      const strip = Math.floor(this.queue[0].y0 / this.strips.rows);
      if (!changed.has(strip) && changed.size >= STRIPS_PER_FRAME) break;
      changed.add(strip);
      const { y0, rows, width, data } = this.queue.shift();
      if (!this.strips.put(y0, rows, width, data)) {
        this.queue = [];
        this.onTooBig?.(this.width, this.height);
        return;
      }
    }
    if (this.queue.length) this.scheduleDraw();
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
    // Black until its rows come: no canvas until then.
    const resized = this.width !== frame.width || this.height !== frame.height;
    this.strips.resize(frame.width, frame.height);
    if (resized) this.onResize?.(frame.width, frame.height);
    if (frame.kept) for (const k of frame.kept) this.enqueue(k.y0, k.rows, k.width, k.data);
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

  // The picture as one canvas, and as a PNG file.
  canvas() {
    return this.strips.compose();
  }

  pngBlob() {
    return new Promise((resolve) => this.canvas().toBlob(resolve, 'image/png'));
  }
}
