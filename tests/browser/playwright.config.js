// The configuration pages in Debian's chromium, against the real daemon built
// in the build tree (started by daemon.js). Nothing here downloads a browser.
const { defineConfig } = require('@playwright/test');

const artifacts = process.env.CORVAND_ARTIFACTS || 'results';

module.exports = defineConfig({
  testDir: '.',
  testMatch: '*.test.js',
  outputDir: `${artifacts}/output`,
  timeout: 30_000,
  globalTimeout: 120_000,
  workers: 1,
  reporter: [['list']],
  use: {
    browserName: 'chromium',
    launchOptions: {
      executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
      args: ['--no-sandbox'],
    },
    viewport: { width: 1100, height: 900 },
  },
});
