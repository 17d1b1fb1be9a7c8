// A stand-in for the tracer's worker that speaks the same messages: it parses
// nothing and draws a gradient row by row, for working on the page and its
// tests without the WebAssembly build. A word with "!" in it is a parse error.
let stopRequested = false;
let files = {};

function size(text, word, fallback) {
  const m = new RegExp(`\\b${word}\\s+(\\d+)`, 'i').exec(text);
  return m ? Number(m[1]) : fallback;
}

function parseError(text) {
  const m = /[^\s,]*![^\s,]*/.exec(text);
  if (!m) return null;
  const end = m.index + m[0].length;
  const before = text.slice(0, m.index).split('\n');
  const line = before.length;
  const col = before[before.length - 1].length + 1;
  const where = `Line ${line}, Col ${col}`;
  return {
    type: 'error',
    caption: 'Parse Error',
    message: `Unknown word. at char ${end + 1} found: ${m[0]}\n\n${where}`,
    status: `Parse Error at ${where}: Unknown word. found: ${m[0]}`,
    line,
    col,
    from: m.index,
    to: end,
  };
}

const pause = () => new Promise((resolve) => setTimeout(resolve, 0));

async function play(text) {
  const width = size(text, 'WIDTH', 320);
  const height = size(text, 'HEIGHT', 240);
  const animated = /\bANIMATION\b/i.test(text);
  const count = animated ? size(text, 'FRAMES', 1) : 1;
  const fps = animated ? size(text, 'FRAMES_PER_SECOND', 25) : 0;
  const started = performance.now();
  for (let index = 0; index < count; ++index) {
    postMessage({ type: 'frame', width, height, index, count, fps });
    for (let y = 0; y < height; y += 8) {
      if (stopRequested) {
        postMessage({ type: 'stopped', failed: false, status: 'Stopped' });
        return;
      }
      const y1 = Math.min(height, y + 8);
      const pixels = new Uint8ClampedArray(width * (y1 - y) * 4);
      for (let yy = y; yy < y1; ++yy)
        for (let x = 0; x < width; ++x) {
          const i = ((yy - y) * width + x) * 4;
          pixels[i] = (x * 255) / Math.max(1, width - 1);
          pixels[i + 1] = (yy * 255) / Math.max(1, height - 1);
          pixels[i + 2] = (index * 255) / Math.max(1, count - 1);
          pixels[i + 3] = 255;
        }
      postMessage({ type: 'rows', y0: y, y1, width, pixels }, [pixels.buffer]);
      await pause();
    }
    postMessage({ type: 'frameDone', index });
  }
  const seconds = (performance.now() - started) / 1000;
  postMessage({ type: 'done', failed: false, seconds, status: `Done in ${seconds.toFixed(2)} s` });
}

onmessage = (e) => {
  const m = e.data;
  if (m.cmd === 'files') files = { ...files, ...m.files };
  else if (m.cmd === 'stop') stopRequested = true;
  // No coarse look: the live preview goes straight to its trace.
  else if (m.cmd === 'coarse') postMessage({ type: 'coarseDone', stopped: false });
  else if (m.cmd === 'parse' || m.cmd === 'play') {
    stopRequested = false;
    const error = parseError(m.text);
    if (error) postMessage(error);
    else if (m.cmd === 'parse') postMessage({ type: 'parsed', caption: 'Parse', message: 'Parsed OK!' });
    else play(m.text);
  }
};
postMessage({ type: 'ready', version: 'stub' });
