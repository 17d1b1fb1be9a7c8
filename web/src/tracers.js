// The tracer's workers: one per band of rows, all of them reused from run to
// run. Worker i traces band i of every frame (rows i*h/n up to (i+1)*h/n),
// each band the very rows of the whole picture; the page joins them. A worker
// that has to go (it does not answer Stop, or its module has ended) is
// replaced by a new one for the same band, with every file given so far.

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
        if (e.data && e.data.type === 'ready') resolve(e.data);
        else this.onMessage(slot, e.data);
      });
    });
    worker.addEventListener('error', (e) =>
      this.onMessage(slot, { type: 'workerError', message: e.message || 'worker error' }),
    );
    // Commands sent before the module is loaded wait in the worker.
    worker.postMessage({ cmd: 'band', index, count: this.count });
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
