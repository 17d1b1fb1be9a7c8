// Debian's chromium, headless, for the benchmarks that drive the page
// (CHROMIUM names another binary; CHROMIUM_FLAGS adds flags, space-separated,
// such as --js-flags=--no-liftoff).
export function launchChromium(puppeteer) {
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: [
      '--no-sandbox',
      '--disable-dev-shm-usage',
      ...(process.env.CHROMIUM_FLAGS ?? '').split(' ').filter((flag) => flag !== ''),
    ],
    defaultViewport: { width: 1280, height: 800 },
    protocolTimeout: 600000,
  });
}

// The playground at `url` in a new page, ready, its dialogs accepted.
export async function openPlayground(browser, url) {
  const page = await browser.newPage();
  page.on('dialog', (d) => d.accept());
  await page.goto(url);
  await page.waitForSelector('body[data-ready="true"]');
  return page;
}
