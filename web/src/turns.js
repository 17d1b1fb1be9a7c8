// Work that runs long gives its thread a turn every few milliseconds.
// Streams hand their pieces on in promise jobs, all within one task; a
// task of the next turn lets the thread's other tasks run in between.

const SLICE_MS = 6;
const channel = new MessageChannel();
const waiting = [];
// When the thread last had its turn; work going on side by side shares it.
let sliceStart = performance.now();
channel.port1.onmessage = () => waiting.shift()?.();

// A promise kept in a task of its own, after the tasks already waiting.
export function nextTask() {
  return new Promise((resolve) => {
    waiting.push(resolve);
    channel.port2.postMessage(0);
  });
}

// Gives the thread its turn when this task has run long enough.
export async function breathe() {
  if (performance.now() - sliceStart <= SLICE_MS) return;
  await nextTask();
  sliceStart = performance.now();
}
