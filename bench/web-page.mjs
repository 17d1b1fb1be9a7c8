// The playground page against the command, both on every core: the showcase
// at SIZE x SIZE traced by the command and by the page in headless Chromium
// (its workers a band each), the page's picture compared with the command's
// byte for byte; the longest main-thread task while the page traces, and the
// time from Stop to an idle page while it traces, while it parses and while
// it plays an animation; then the longest main-thread task while it traces
// big pictures (a light and no shape: the page's side at its heaviest) and
// while it reads a link that inflates past what a trace reads, and one that
// holds nearly as much as a trace reads.
// With --repeat N the command and the page (a fresh tab each time) take
// turns N times more, and the best and median of each are compared: the
// host's speed moves from second to second, and one pair can catch the
// command in a fast moment and the page in a slow one. Each turn also
// times the module and the command on one thread each (the module under
// node through the bridge's renderer, when it is built): the page cannot
// trace faster than its module, so that ratio is the page's own floor.
//   node bench/web-page.mjs [--size 2240] [--big 4000x3000,16384x8000,16384x16384]
//                           [--site build-web/site] [--cli build/glimmark] [--repeat 0]
//                           [--bridge build-web/gmk_bridge_render.js]
// Needs `make web web-site` and the command built; web/node_modules (npm ci).
import { execFileSync } from 'node:child_process';
import { createHash } from 'node:crypto';
import { copyFileSync, existsSync, mkdtempSync, readFileSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { dirname, join, resolve } from 'node:path';
import { fileURLToPath } from 'node:url';
import { createRequire } from 'node:module';
import { deflateRawSync } from 'node:zlib';

const root = resolve(dirname(fileURLToPath(import.meta.url)), '..');
const require = createRequire(join(root, 'web', 'package.json'));
const puppeteer = require('puppeteer-core');
const { serve } = await import(join(root, 'web', 'test', 'serve.mjs'));
const { launchChromium, openPlayground } = await import(join(root, 'web', 'test', 'chromium.mjs'));
const { decodePng } = await import(join(root, 'web', 'test', 'png.mjs'));

const args = process.argv.slice(2);
const option = (name, fallback) => (args.includes(name) ? args[args.indexOf(name) + 1] : fallback);
const size = Number(option('--size', '2240'));
const repeat = Math.max(0, Number(option('--repeat', '0')) || 0);
const site = resolve(option('--site', join(root, 'build-web', 'site')));
const cli = resolve(option('--cli', join(root, 'build', 'glimmark')));
const bridge = resolve(option('--bridge', join(root, 'build-web', 'gmk_bridge_render.js')));
const big = option('--big', '4000x3000,16384x8000,16384x16384')
  .split(',')
  .filter((s) => s)
  .map((s) => s.split('x').map(Number));

const work = mkdtempSync(join(tmpdir(), 'glimmark-page-bench-'));
const text = readFileSync(join(root, 'examples', 'showcase.gmk'), 'utf8').replace(
  /WIDTH \d+ HEIGHT \d+/,
  `WIDTH ${size} HEIGHT ${size}`,
);
writeFileSync(join(work, 'showcase.gmk'), text);
copyFileSync(join(root, 'examples', 'tiles.png'), join(work, 'tiles.png'));

// The command's time for the showcase, on every core.
function commandRun() {
  const begun = performance.now();
  execFileSync(cli, ['render', join(work, 'showcase.gmk'), '-o', join(work, 'cli.png'), '-q', '-f'], {
    stdio: 'ignore',
  });
  return performance.now() - begun;
}
// The command and the module on one thread each: [command ms, module ms].
function oneThreadRuns() {
  const timed = (file, list) => {
    const begun = performance.now();
    execFileSync(file, list, { stdio: 'ignore' });
    return performance.now() - begun;
  };
  const scene = join(work, 'showcase.gmk');
  return [
    timed(cli, ['render', scene, '-o', join(work, 'one.png'), '-q', '-f', '-j', '1']),
    timed(process.execPath, [bridge, scene, join(work, 'one.ppm')]),
  ];
}
let started = 0;

const server = await serve(site);
const browser = await launchChromium(puppeteer);
try {
  const page = await openPlayground(browser, server.url);
  // Chromium goes on starting for some seconds after its first page is
  // ready (its browser process and the renderer of its omnibox popup took
  // 0.1 to 0.3 s of the cores during a trace started at once): the first
  // turn waits for that, as the later turns do not need to.
  await new Promise((r) => setTimeout(r, 3000));
  const commandMs = commandRun();
  const expected = createHash('sha256').update(decodePng(readFileSync(join(work, 'cli.png'))).rgba).digest('hex');
  await new Promise((r) => setTimeout(r, 1000));
  // Polled on the page's changes, not every frame: a poll per frame would
  // take the main thread's time from the page it measures.
  const idle = () =>
    page.waitForFunction(() => !document.body.classList.contains('running'), {
      timeout: 0,
      polling: 'mutation',
    });
  // Every long task with its start; a run's are those that start after its F5
  // (the text set into the editor before it is measured on its own).
  await page.evaluate(() => {
    window.tasks = [];
    new PerformanceObserver((list) => {
      for (const e of list.getEntries()) window.tasks.push({ start: e.startTime, duration: e.duration });
    }).observe({ type: 'longtask' });
    window.longestSince = (start) =>
      Math.max(0, ...window.tasks.filter((t) => t.start >= start).map((t) => t.duration));
  });
  // The text into the editor, then a pause for its layout and the long-task
  // entries to arrive, then F5.
  const setText = async (t, name) => {
    const before = await page.evaluate(() => performance.now());
    await page.evaluate((t, name) => window.playground.setEditorText(t, name), t, name);
    await new Promise((r) => setTimeout(r, 300));
    return page.evaluate((before) => {
      window.pressed = performance.now();
      return window.longestSince(before);
    }, before);
  };
  const settingShowcase = await setText(text, 'showcase.gmk');
  started = performance.now();
  await page.keyboard.press('F5');
  await idle();
  const pageMs = performance.now() - started;
  const found = await page.evaluate(async () => {
    const rgba = (await window.playground.picture.pixels()).data;
    const digest = new Uint8Array(await crypto.subtle.digest('SHA-256', rgba));
    return {
      status: document.getElementById('run-status').textContent,
      workers: document.body.dataset.workers,
      longest: window.longestSince(window.pressed),
      hash: Array.from(digest, (b) => b.toString(16).padStart(2, '0')).join(''),
      last: window.playground.lastRun,
    };
  });
  const onceEach = found.last.rowCounts.every((n) => n === 1);
  // Printed after the first turn's lines.
  const repeatLines = [];
  if (repeat > 0) {
    const commands = [commandMs];
    const pages = [pageMs];
    const single = [];
    for (let i = 0; i < repeat; ++i) {
      if (existsSync(bridge)) single.push(oneThreadRuns());
      // Each after a pause, so that neither finds the other's work still going.
      await new Promise((r) => setTimeout(r, 1000));
      commands.push(commandRun());
      await new Promise((r) => setTimeout(r, 1000));
      const tab = await openPlayground(browser, server.url);
      await tab.evaluate((t) => window.playground.setEditorText(t, 'showcase.gmk'), text);
      await new Promise((r) => setTimeout(r, 300));
      const begun = performance.now();
      await tab.keyboard.press('F5');
      await tab.waitForFunction(() => !document.body.classList.contains('running'), {
        timeout: 0,
        polling: 'mutation',
      });
      pages.push(performance.now() - begun);
      await tab.close();
    }
    const seconds = (list) => list.map((ms) => (ms / 1000).toFixed(2)).join(', ');
    const best = (list) => Math.min(...list);
    const median = (list) => [...list].sort((a, b) => a - b)[Math.floor(list.length / 2)];
    repeatLines.push(`${repeat + 1} turns each: command ${seconds(commands)} s; page ${seconds(pages)} s`);
    repeatLines.push(
      `  page / command: best ${(best(pages) / best(commands)).toFixed(2)}, ` +
        `median ${(median(pages) / median(commands)).toFixed(2)}; ` +
        `by turn ${pages.map((p, i) => (p / commands[i]).toFixed(2)).join(', ')}`,
    );
    if (single.length > 0) {
      const ones = single.map(([c]) => c);
      const modules = single.map(([, m]) => m);
      repeatLines.push(
        `  one thread each: command ${seconds(ones)} s; module under node ${seconds(modules)} s; ` +
          `module / command: median ${(median(modules) / median(ones)).toFixed(2)}, ` +
          `by turn ${modules.map((m, i) => (m / ones[i]).toFixed(2)).join(', ')}`,
      );
    }
  }
  // Stop while tracing: after the first rows.
  await page.keyboard.press('F5');
  await page.waitForFunction(() => /Tracing row [1-9]/.test(document.getElementById('run-status').textContent), {
    polling: 'mutation',
  });
  await page.keyboard.press('F7');
  await idle();
  const stopTracing = await page.evaluate(() => document.body.dataset.stopMs);
  // Stop while parsing: a scene of four million spheres.
  await page.evaluate(() =>
    window.playground.setEditorText(
      'SCENE LOOP a LT a 1023 LOOP b LT b 1024 SPHERE END_SPHERE SPHERE END_SPHERE ' +
        'SPHERE END_SPHERE SPHERE END_SPHERE END_LOOP END_LOOP END_SCENE',
    ),
  );
  await page.keyboard.press('F5');
  await new Promise((r) => setTimeout(r, 500));
  await page.keyboard.press('F7');
  await idle();
  const stopParsing = await page.evaluate(() => document.body.dataset.stopMs);
  // Stop while playing: an animation of 1000 small frames, after its second.
  await page.evaluate(() =>
    window.playground.setEditorText(
      'ANIMATION START_TIME 0 END_TIME 1 FRAMES 1000 FRAMES_PER_SECOND 25 END_ANIMATION\n' +
        'TRACER WIDTH 64 HEIGHT 48 END_TRACER\nSCENE SPHERE TRANSLATE 0 0 TIME END_SPHERE END_SCENE\n',
    ),
  );
  await page.keyboard.press('F5');
  await page.waitForFunction(() => /^Frame [3-9]/.test(document.getElementById('run-status').textContent), {
    polling: 'mutation',
  });
  await page.keyboard.press('F7');
  await idle();
  const stopPlaying = await page.evaluate(() => document.body.dataset.stopMs);
  console.log(`showcase ${size}x${size}: command ${(commandMs / 1000).toFixed(2)} s (all cores), ` +
    `page ${(pageMs / 1000).toFixed(2)} s with ${found.workers} workers ("${found.status}"), ` +
    `page / command ${(pageMs / commandMs).toFixed(2)}`);
  for (const w of found.last.work)
    console.log(
      `  worker ${w.band}: parse ${w.parse.toFixed(0)} ms, tracing ${w.trace.toFixed(0)} ms in the module, ` +
        `${w.rows} rows in ${w.chunks} chunks`,
    );
  console.log(
    `  workers started (module fetched, compiled, instantiated) after ${found.last.workerStartMs
      .map((ms) => ms.toFixed(0))
      .join(', ')} ms; every row came ${onceEach ? 'exactly once' : 'NOT exactly once'}`,
  );
  console.log(`picture ${found.hash === expected ? 'identical to the command\'s' : 'DIFFERS from the command\'s'}`);
  for (const line of repeatLines) console.log(line);
  console.log(`longest main-thread task while tracing: ${found.longest} ms (0: none over 50 ms)`);
  console.log(`longest main-thread task while the editor took the showcase's text: ${settingShowcase} ms`);
  console.log(
    `stop to idle: ${stopTracing} ms while tracing, ${stopParsing} ms while parsing, ${stopPlaying} ms while playing`,
  );
  for (const [width, height] of big) {
    await setText(`TRACER WIDTH ${width} HEIGHT ${height} END_TRACER SCENE LIGHT END_LIGHT END_SCENE`);
    started = performance.now();
    await page.keyboard.press('F5');
    await idle();
    const { status, longest } = await page.evaluate(() => ({
      status: document.getElementById('run-status').textContent,
      longest: window.longestSince(window.pressed),
    }));
    console.log(
      `${width}x${height}: "${status}" after ${((performance.now() - started) / 1000).toFixed(1)} s, ` +
        `longest main-thread task ${longest} ms`,
    );
  }
  // A link of 26 KB that inflates to 40 million characters, refused; links
  // that are opened: one of 51 KB whose 15.8 million characters are 880,000
  // lines, one of a single line of 16 million letters, one of a million
  // line ends, one of 5.5 million lines of two letters.
  for (const [scene, what] of [
    ['A'.repeat(40_000_000), 'inflating to 40 million characters'],
    ['SPHERE END_SPHERE\n'.repeat(880_000), 'holding 15.8 million characters'],
    ['x'.repeat(16_000_000), 'holding one line of 16 million letters'],
    ['\n'.repeat(1 << 20), 'holding a million line ends'],
    ['ab\n'.repeat(5_500_000), 'holding 5.5 million lines of two letters'],
  ]) {
    const fragment = '#s=' + deflateRawSync(Buffer.from(scene)).toString('base64url');
    const linked = await browser.newPage();
    linked.on('dialog', (d) => d.accept());
    await linked.evaluateOnNewDocument(() => {
      window.tasks = [];
      new PerformanceObserver((list) => window.tasks.push(...list.getEntries())).observe({
        type: 'longtask',
        buffered: true,
      });
    });
    await linked.goto(server.url + fragment);
    await linked.waitForSelector('body[data-ready="true"]', { timeout: 0 });
    // The timers that keep the text and write the link come after.
    await new Promise((r) => setTimeout(r, 1500));
    const read = await linked.evaluate(() => {
      const started = performance.getEntriesByName('playground-started')[0].startTime;
      return {
        status: document.getElementById('run-status').textContent,
        characters: window.playground.editor.state.doc.length,
        longest: Math.max(0, ...window.tasks.filter((t) => t.startTime >= started).map((t) => t.duration)),
      };
    });
    console.log(
      `a link of ${fragment.length} characters ${what}: "${read.status}", ` +
        `${read.characters} characters in the editor, longest main-thread task ${read.longest} ms`,
    );
    if (scene.length === 16_000_000) {
      // The editor holds a line as one string: 16 MB written into memory
      // the tab has not touched yet. The same in an array, in the same tab,
      // three times: the machine's floor for that task.
      const fresh = await linked.evaluate(() => {
        const kept = [];
        const times = [];
        for (let i = 0; i < 3; ++i) {
          const begun = performance.now();
          kept.push(new Uint8Array(16_000_000).fill(1));
          times.push(performance.now() - begun);
        }
        return times.map((ms) => ms.toFixed(1)).join(', ') + ` ms (${kept.length} arrays)`;
      });
      console.log(`  16 MB written into fresh memory in the same tab: ${fresh}`);
    }
    await linked.close();
  }
  if (found.hash !== expected || !onceEach) process.exitCode = 1;
} finally {
  await browser.close();
  server.close();
}
