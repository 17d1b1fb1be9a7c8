// The traced picture on the page: a stack of canvases of a few rows each
// (strips), handed over to the drawing worker (painter.js), which puts the
// rows on them as they arrive, pixel for pixel, and sends them to the screen
// itself: the page's thread only passes the rows on (transferred, not
// copied), so that no picture, however big, holds it up. An animation's
// frames are shown one after another, none sooner than FRAMES_PER_SECOND
// allows: a frame traced early waits, whole, until its time has come.

// Pixels of one strip, at most: a changed strip is copied whole for the
// compositor as the drawing worker's frame is committed.
const STRIP_PIXELS = 1 << 20;

// Strips made per task, at most: a big picture's strips are made a few at
// a time, between the page's other tasks.
const STRIPS_PER_TASK = 16;

// The strips of a picture in `holder`, all made with the picture, drawn by
// `painter` (transparent, over the black holder, until their rows come).
class Strips {
  constructor(holder, painter) {
    this.holder = holder;
    this.painter = painter;
    this.width = 0;
    this.height = 0;
    this.rows = 1;
    this.count = 0;
    this.canvases = [];
    this.making = 0;
    // The live preview's coarse look at a picture of this size, under the
    // strips until their rows cover it.
    this.under = null;
  }

  // Strips for a picture of this size, transparent; `seq` numbers the
  // command for the drawing worker's answer.
  resize(width, height, seq) {
    if (this.under && (this.under.pictureWidth !== width || this.under.pictureHeight !== height)) this.under = null;
    if (this.count && width === this.width && height === this.height) {
      this.painter.postMessage({ cmd: 'clear', seq });
      this.placeUnder();
      return;
    }
    clearTimeout(this.making);
    this.width = width;
    this.height = height;
    this.rows = Math.max(1, Math.floor(STRIP_PIXELS / Math.max(1, width)));
    this.count = Math.ceil(height / this.rows);
    this.canvases = [];
    this.holder.replaceChildren(...(this.under ? [this.under] : []));
    this.painter.postMessage({ cmd: 'strips', width, height, rows: this.rows, count: this.count });
    this.painter.postMessage({ cmd: 'drop', seq });
    this.make();
  }

  // The next few strips, handed over to the drawing worker.
  make() {
    this.making = 0;
    const first = this.canvases.length;
    const made = [];
    const offscreen = [];
    for (let i = first; i < Math.min(this.count, first + STRIPS_PER_TASK); ++i) {
      const top = i * this.rows;
      const c = document.createElement('canvas');
      c.width = this.width;
      c.height = Math.min(this.rows, this.height - top);
      c.style.top = `${((top * 100) / this.height).toFixed(6)}%`;
      c.style.height = `${((c.height * 100) / this.height).toFixed(6)}%`;
      made.push(c);
      offscreen.push(c.transferControlToOffscreen());
    }
    this.canvases.push(...made);
    this.holder.append(...made);
    this.painter.postMessage({ cmd: 'canvases', first, canvases: offscreen }, offscreen);
    if (this.canvases.length < this.count) this.making = setTimeout(() => this.make(), 0);
  }

  // The coarse look (or none) first, under the strips.
  placeUnder() {
    for (const c of [...this.holder.children]) if (c.classList.contains('coarse') && c !== this.under) c.remove();
    if (this.under && this.holder.firstChild !== this.under) this.holder.prepend(this.under);
  }
}

export class Picture {
  constructor(holder) {
    this.holder = holder;
    this.painter = new Worker('painter.js');
    this.painter.addEventListener('message', (e) => this.onPainter(e.data));
    // Commands sent to the drawing worker, and the last of them drawn.
    this.sent = 0;
    this.drawn = 0;
    this.strips = new Strips(holder, this.painter);
    this.strips.resize(Number(holder.dataset.width) || 320, Number(holder.dataset.height) || 240, ++this.sent);
    this.frames = new Map();
    this.shown = -1;
    this.shownAt = 0;
    this.timer = 0;
    this.onAllShown = null;
    this.onResize = null;
    // Called once when the browser cannot hold the picture: (width, height).
    this.onTooBig = null;
    // The pictures asked of the drawing worker: id -> resolve.
    this.composing = new Map();
    this.composeId = 0;
  }

  onPainter(m) {
    switch (m.type) {
      case 'drawn':
        this.drawn = m.seq;
        if (this.drawn === this.sent) this.advance();
        break;
      case 'tooBig':
        if (m.width === this.width && m.height === this.height) this.onTooBig?.(m.width, m.height);
        break;
      case 'composed': {
        const resolve = this.composing.get(m.id);
        this.composing.delete(m.id);
        resolve?.(m);
        break;
      }
    }
  }

  // Rows not yet drawn are forgotten; what is drawn stays.
  drop() {
    this.painter.postMessage({ cmd: 'drop', seq: ++this.sent });
  }

  // Forgets the frames of the last run; what is on the canvas stays.
  reset() {
    clearTimeout(this.timer);
    this.strips.under = null;
    this.frames = new Map();
    this.shown = -1;
    this.onAllShown = null;
    this.drop();
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
    const resized = this.width !== width || this.height !== height;
    this.strips.under = c;
    this.strips.resize(width, height, ++this.sent);
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
    // The shown frame's rows go to the drawing worker (and are no longer
    // the page's); a later frame's wait until it is shown.
    if (index === this.shown) this.draw(y0, y1 - y0, width, data);
    else if (frame.kept) frame.kept.push({ y0, rows: y1 - y0, width, data });
  }

  get width() {
    return this.strips.width;
  }

  get height() {
    return this.strips.height;
  }

  // Hands the rows to the drawing worker; `now`: drawn at its next display
  // frame, not together with rows still to come.
  draw(y0, rows, width, data, now = false) {
    const whole = data.byteOffset === 0 && data.byteLength === data.buffer.byteLength;
    this.painter.postMessage({ cmd: 'rows', seq: ++this.sent, y0, rows, width, data, now }, whole ? [data.buffer] : []);
  }

  frameDone(index = 0) {
    const frame = this.frames.get(index);
    if (frame) frame.done = true;
    // Its last rows are drawn without waiting for more.
    if (index === this.shown) this.painter.postMessage({ cmd: 'flush' });
    this.advance();
  }

  // Calls back once every frame traced so far has been shown its full time.
  whenAllShown(callback) {
    this.onAllShown = callback;
    this.advance();
  }

  show(i) {
    const frame = this.frames.get(i);
    // Black until its rows come.
    const resized = this.width !== frame.width || this.height !== frame.height;
    this.strips.resize(frame.width, frame.height, ++this.sent);
    if (resized) this.onResize?.(frame.width, frame.height);
    if (frame.kept) for (const k of frame.kept.splice(0)) this.draw(k.y0, k.rows, k.width, k.data, true);
    // A shown frame's own copy is no longer needed.
    this.frames.delete(i - 1);
    this.shown = i;
    this.shownAt = performance.now();
  }

  advance() {
    clearTimeout(this.timer);
    const current = this.frames.get(this.shown);
    if (!current || !current.done || this.drawn !== this.sent) return;
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

  // The whole picture from the drawing worker (black where no row has
  // come): {width, height, data} with its RGBA bytes, or with `png` a PNG
  // file {blob}.
  compose(png) {
    const id = ++this.composeId;
    return new Promise((resolve) => {
      this.composing.set(id, resolve);
      this.painter.postMessage({ cmd: 'compose', id, png });
    });
  }

  pixels() {
    return this.compose(false);
  }

  async pngBlob() {
    return (await this.compose(true)).blob;
  }
}
