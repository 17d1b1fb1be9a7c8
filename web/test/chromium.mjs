// Debian's chromium, headless, for the benchmarks that drive the page
// (CHROMIUM names another binary).
export function launchChromium(puppeteer) {
  return puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    headless: true,
    args: ['--no-sandbox', '--disable-dev-shm-usage'],
    defaultViewport: { width: 1280, height: 800 },
    protocolTimeout: 600000,
  });
}
