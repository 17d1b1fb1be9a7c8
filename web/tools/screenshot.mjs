// The README's picture of the playground: the built site in headless
// chromium, an example played, the page saved when its trace is done.
//   node screenshot.mjs SITE OUT.png [EXAMPLE]
import puppeteer from 'puppeteer-core';
import { serve } from '../test/serve.mjs';

const [site, out, example = 'mirrors_and_glass.gmk'] = process.argv.slice(2);
if (!site || !out) {
  console.error('usage: node screenshot.mjs SITE OUT.png [EXAMPLE]');
  process.exit(2);
}
const server = await serve(site);
const browser = await puppeteer.launch({
  executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
  headless: true,
  args: ['--no-sandbox', '--disable-dev-shm-usage'],
  defaultViewport: { width: 1200, height: 700 },
});
try {
  const page = await browser.newPage();
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
