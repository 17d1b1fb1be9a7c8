// The README's pictures of the playground: the built site in headless
// chromium, an example played, the page saved when its trace is done.
//   node screenshot.mjs SITE OUT.png [EXAMPLE] [--size WxH] [--dark]
// --size: the window (1280x800 by default); --dark: a system that prefers
// the dark theme.
import puppeteer from 'puppeteer-core';
import { serve } from '../test/serve.mjs';

const args = process.argv.slice(2);
const flag = (name) => {
  const i = args.indexOf(name);
  if (i < 0) return null;
  const [value] = args.splice(i, name === '--size' ? 2 : 1).slice(1);
  return value ?? true;
};
const [width, height] = String(flag('--size') ?? '1280x800').split('x').map(Number);
const dark = flag('--dark') !== null;
const [site, out, example = 'mirrors_and_glass.gmk'] = args;
if (!site || !out || !(width > 0 && height > 0)) {
  console.error('usage: node screenshot.mjs SITE OUT.png [EXAMPLE] [--size WxH] [--dark]');
  process.exit(2);
}
const server = await serve(site);
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-dev-shm-usage'],
  defaultViewport: { width, height },
});
try {
  const page = await browser.newPage();
  await page.emulateMediaFeatures([{ name: 'prefers-color-scheme', value: dark ? 'dark' : 'light' }]);
  await page.goto(server.url);
  await page.waitForSelector('body[data-ready="true"]');
  await page.select('#examples', example);
  await page.waitForSelector(`body[data-scene="${example}"]`);
  await page.keyboard.press('F5');
  await page.waitForFunction(() => /^Done in/.test(document.getElementById('run-status').textContent), {
    timeout: 300000,
  });
  await page.screenshot({ path: out });
} finally {
  await browser.close();
  server.close();
}
