// The page's side of the link worker (link-worker.js), started when the
// first link is read or written.

export class Links {
  constructor() {
    this.worker = null;
    this.waiting = new Map();
    this.next = 1;
  }

  // The scene of a fragment: {bytes} (its text in UTF-8), {none: true}
  // when it carries none, or {why}: why it cannot be read.
  read(fragment) {
    if (fragment.replace(/^#/, '') === '') return Promise.resolve({ none: true });
    return this.ask({ read: fragment });
  }

  // The fragment ("s=...") of a scene's text, given as UTF-8 byte arrays;
  // they go to the worker.
  async write(parts) {
    const answer = await this.ask(
      { write: parts },
      parts.map((p) => p.buffer),
    );
    if (answer.why) throw new Error(answer.why);
    return answer.fragment;
  }

  ask(message, transfer = []) {
    if (!this.worker) this.start();
    const id = this.next++;
    return new Promise((resolve) => {
      this.waiting.set(id, resolve);
      this.worker.postMessage({ id, ...message }, transfer);
    });
  }

  start() {
    this.worker = new Worker('link-worker.js');
    this.worker.onmessage = ({ data }) => {
      const resolve = this.waiting.get(data.id);
      this.waiting.delete(data.id);
      resolve?.(data);
    };
    // A worker that cannot start or fails leaves no question unanswered;
    // the next question starts another.
    this.worker.onerror = (e) => {
      e.preventDefault();
      this.worker.terminate();
      this.worker = null;
      for (const resolve of this.waiting.values()) resolve({ why: "the page's link reader failed" });
      this.waiting.clear();
    };
  }
}
