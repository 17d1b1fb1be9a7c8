// The tracer's workers: one per core, all of them reused from run to run.
// Each frame's rows are handed out in chunks as the workers ask for them
// (RowChunks), each chunk the very rows of the whole picture; the page joins
// them. Rows cost very differently (sky against glass), so chunks on demand
// keep every worker busy to the end where equal bands would leave one idle.
// A worker that has to go (it does not answer Stop, or its module has
// ended) is replaced by a new one, with every file given so far.

// The workers a page starts: one per core, at most this many.
export const MAX_WORKERS = 16;

export function workerCount(search = '') {
  const asked = Number(new URLSearchParams(search).get('workers'));
  const cores = navigator.hardwareConcurrency || 1;
  const count = Number.isInteger(asked) && asked > 0 ? asked : cores;
  return Math.max(1, Math.min(count, MAX_WORKERS));
}

export class Tracers {
  // onMessage(slot, message): a worker's message; slot.index is its band.
  constructor(count, onMessage) {
    this.count = count;
    this.onMessage = onMessage;
    this.files = {};
    this.slots = [];
    for (let i = 0; i < count; ++i) this.slots.push(this.start(i));
    // Resolves with the first worker's 'ready' (its version).
    this.ready = this.slots[0].ready;
  }

  get lead() {
    return this.slots[0];
  }

  start(index) {
    const worker = new Worker('worker.js');
    const slot = { index, worker, ready: null };
    slot.ready = new Promise((resolve) => {
      worker.addEventListener('message', (e) => {
        if (e.data && e.data.type === 'ready') {
          slot.startMs = e.data.startMs;
          resolve(e.data);
        }
        else this.onMessage(slot, e.data);
      });
    });
    worker.addEventListener('error', (e) =>
      this.onMessage(slot, { type: 'workerError', message: e.message || 'worker error' }),
    );
    // Commands sent before the module is loaded wait in the worker.
    worker.postMessage({ cmd: 'chunked' });
    if (Object.keys(this.files).length) worker.postMessage({ cmd: 'files', files: this.files });
    return slot;
  }

  // Ends the slot's worker at once and starts another in its place.
  replace(slot) {
    slot.worker.terminate();
    if (this.slots[slot.index] !== slot) return this.slots[slot.index];
    const fresh = this.start(slot.index);
    this.slots[slot.index] = fresh;
    return fresh;
  }

  giveFiles(files) {
    Object.assign(this.files, files);
    for (const slot of this.slots) slot.worker.postMessage({ cmd: 'files', files });
  }
}

// The rows of each frame, handed out in chunks: large ones first, smaller as
// the frame's rows run out (each a share of the rows left), so that the
// workers end together and few chunks start the antialiasing's chain anew
// (a chunk traces about one row more than it keeps for that).
export class RowChunks {
  constructor(workers) {
    this.workers = Math.max(1, workers);
    this.frames = new Map();
  }

  // The next chunk [y0, y1) of frame `index`, `height` rows high; empty
  // (y0 === y1) once every row of the frame has been handed out.
  next(index, height) {
    let frame = this.frames.get(index);
    if (!frame) {
      frame = { next: 0, height };
      this.frames.set(index, frame);
    }
    const left = frame.height - frame.next;
    const least = Math.max(2, Math.ceil(frame.height / 256));
    const size = Math.min(left, Math.max(least, Math.ceil(left / (4 * this.workers))));
    const y0 = frame.next;
    frame.next += size;
    return [y0, frame.next];
  }

  forget(index) {
    this.frames.delete(index);
  }

  clear() {
    this.frames.clear();
  }
}
