// An administrator edits the filter lists, looks at the statistics and resets
// them, rates a page, and opens every help page of the configuration.
const { test, expect } = require('@playwright/test');
const crypto = require('node:crypto');
const path = require('node:path');
const { start } = require('./daemon');

const artifacts = process.env.CORVAND_ARTIFACTS || 'results';
const pages = ['proxy_engine', 'standard_filter', 'privacy', 'access_control', 'security'];
const ratingKey = 'cv-rating-line-signature';

let daemon;
test.describe.configure({ mode: 'serial' });
test.beforeAll(async () => { daemon = await start(); });
test.afterAll(async () => { if (daemon) await daemon.stop(); });

function login(browser) {
  return browser.newContext({ httpCredentials: { username: 'admin', password: 'tarnivelo' } });
}

// Clicks a submit button and waits for the answer page, so that what follows
// sees the stored files rather than racing the navigation.
async function submit(page, name, method = 'POST') {
  const loaded = page.waitForEvent('load');
  const answered = page.waitForResponse((r) => r.request().method() === method);
  await page.getByRole('button', { name }).first().click();
  await (await answered).finished();
  await loaded;
}

// The lines of one list section of the defaults file.
function section(name) {
  const text = daemon.file('etc/corvand/corvand.conf');
  const start = text.indexOf(`[${name}]\n`);
  if (start < 0) return [];
  const body = text.slice(start + name.length + 3);
  const end = body.search(/^\[/m);
  return (end < 0 ? body : body.slice(0, end)).split('\n').filter((line) => line !== '');
}

function shownNumbers(page) {
  return page.locator('input[type=hidden][name$="_shown"]').evaluateAll(
    (inputs) => inputs.map((input) => Number(input.name.split('_')[0])));
}

test('add an entry and find it by search', async ({ browser }) => {
  const context = await login(browser);
  const page = await context.newPage();
  await page.goto(`${daemon.base}/conf?navTo=list_editor&listType=URL`);
  await page.fill('input[name=new1]', 'ads.banner-test.example/*');
  await submit(page, 'Apply changes');
  await expect(page.locator('main')).toContainText("'ads.banner-test.example/*' added successfully");
  expect(section('ImageFilter.URLList')).toContain('ads.banner-test.example/*');

  // The same entry again is refused with its message.
  await page.fill('input[name=new1]', 'ads.banner-test.example/*');
  await submit(page, 'Apply changes');
  await expect(page.locator('main')).toContainText(
    "Error adding 'ads.banner-test.example/*' . It is already in the list !");

  await page.fill('input[name=find]', '*banner-test*');
  await submit(page, 'Search', 'GET');
  await expect(page.locator('main')).toContainText("Found the following entries with '*banner-test*'");
  await expect(page.locator('input[name$="_entry"]')).toHaveCount(1);
  await expect(page.locator('input[name$="_entry"]')).toHaveValue('ads.banner-test.example/*');
  await page.screenshot({ path: path.join(artifacts, 'list_search.png'), fullPage: true });

  await page.fill('input[name=find]', 'nothing-like-it');
  await submit(page, 'Search', 'GET');
  await expect(page.locator('main')).toContainText("No entry found with 'nothing-like-it'");
  await context.close();
});

test('page through 25 entries, then deactivate and delete in one submit', async ({ browser }) => {
  const context = await login(browser);
  const page = await context.newPage();
  await page.goto(`${daemon.base}/conf?navTo=list_editor&listType=BLOCK`);
  const names = Array.from({ length: 25 }, (_, i) => `block${String(i).padStart(2, '0')}.example`);
  // Added as the page's form posts them, without drawing each answer page.
  for (const name of names) {
    const response = await context.request.post(`${daemon.base}/conf`, {
      headers: { Origin: daemon.base },
      form: { navTo: 'list_editor', listType: 'BLOCK', set: 'yes', new1: name },
    });
    expect(response.status()).toBe(200);
  }
  expect(section('AccessControl.BlockList')).toEqual(names);

  await page.goto(`${daemon.base}/conf?navTo=list_editor&listType=BLOCK`);
  expect(await shownNumbers(page)).toEqual([0, 1, 2, 3, 4, 5, 6, 7, 8, 9]);
  await expect(page.getByRole('link', { name: '<< last entrys' })).toHaveCount(0);
  await page.getByRole('link', { name: 'next entrys >>' }).click();
  await page.waitForLoadState('load');
  expect(await shownNumbers(page)).toEqual([10, 11, 12, 13, 14, 15, 16, 17, 18, 19]);
  await page.screenshot({ path: path.join(artifacts, 'list_page2.png'), fullPage: true });
  await page.getByRole('link', { name: 'next entrys >>' }).click();
  await page.waitForLoadState('load');
  expect(await shownNumbers(page)).toEqual([20, 21, 22, 23, 24]);
  await expect(page.getByRole('link', { name: 'next entrys >>' })).toHaveCount(0);
  await page.getByRole('link', { name: '<< last entrys' }).click();
  await page.waitForLoadState('load');
  expect(await shownNumbers(page)).toEqual([10, 11, 12, 13, 14, 15, 16, 17, 18, 19]);

  // A from that is no page start shows the page it lies in.
  await page.goto(`${daemon.base}/conf?navTo=list_editor&listType=BLOCK&from=-3`);
  expect(await shownNumbers(page)).toEqual([0, 1, 2, 3, 4, 5, 6, 7, 8, 9]);

  await page.check('input[name="3_delete"]');
  await page.check('input[name="5_inactive"]');
  await submit(page, 'Apply changes');
  const expected = names.filter((_, i) => i !== 3).map((name, i) => (i === 4 ? `//${name}` : name));
  expect(section('AccessControl.BlockList')).toEqual(expected);
  await expect(page.locator('input[name="4_inactive"]')).toBeChecked();
  await context.close();
});

test("another site's form cannot change a list", async ({ browser }) => {
  const context = await login(browser);
  const before = section('AccessControl.BlockList');
  const form = { navTo: 'list_editor', listType: 'BLOCK', set: 'yes', new1: 'evil.example',
    '0_shown': '1', '0_delete': '1' };
  const response = await context.request.post(`${daemon.base}/conf`,
    { headers: { Origin: 'http://evil.example' }, form });
  expect(response.status()).toBe(403);
  const get = await context.request.get(`${daemon.base}/conf?navTo=list_editor&listType=BLOCK` +
    '&set=yes&new1=evil.example&0_shown=1&0_delete=1');
  expect(get.status()).toBe(200);
  expect(section('AccessControl.BlockList')).toEqual(before);
  await context.close();
});

test('statistics: table, chart, refresh, and reset after confirmation', async ({ browser }) => {
  const refused = await browser.newContext();
  expect((await refused.request.get(`${daemon.base}/cvstats`)).status()).toBe(401);
  await refused.close();

  const context = await login(browser);
  const page = await context.newPage();
  await page.goto(`${daemon.base}/conf`);
  const popup = context.waitForEvent('page');
  await page.getByRole('link', { name: /statistics/i }).first().click();
  const stats = await popup;
  await stats.waitForLoadState('load');
  await expect(stats.locator('h1')).toHaveText('Statistics');
  await expect(stats.locator('svg rect')).toHaveCount(10);
  expect(Number(await stats.locator('tr', { hasText: /^Requests/ }).locator('td.n').textContent()))
    .toBeGreaterThan(0);
  await stats.fill('input[name=refresh]', '30');
  await submit(stats, 'Refresh', 'GET');
  await expect(stats.locator('meta[http-equiv=refresh]')).toHaveAttribute('content', '30');
  await stats.screenshot({ path: path.join(artifacts, 'cvstats.png'), fullPage: true });

  await submit(stats, 'Reset the statistics', 'GET');
  await expect(stats.locator('h1')).toHaveText('Reset the statistics?');
  await expect(stats.locator('meta[http-equiv=refresh]')).toHaveCount(0);
  await submit(stats, 'No, keep them', 'GET');
  await expect(stats.locator('h1')).toHaveText('Statistics');
  await submit(stats, 'Reset the statistics', 'GET');
  await submit(stats, 'Yes, reset', 'GET');
  await expect(stats.locator('h1')).toHaveText('The statistics were reset');
  await stats.screenshot({ path: path.join(artifacts, 'cvstatsreset2.png'), fullPage: true });
  await submit(stats, 'Back to the statistics', 'GET');
  await expect(stats.locator('tr', { hasText: 'Blocked requests' }).locator('td.n')).toHaveText('0');
  await context.close();
});

test('rate a page: the rating file gets a signed line', async ({ browser }) => {
  const context = await browser.newContext();
  const page = await context.newPage();
  const rated = `${daemon.base}/blank.html`;
  await page.goto(`${daemon.base}/cvrate?url=${encodeURIComponent(rated)}`);
  const top = page.frame({ url: /cvrate\?top=1/ });
  expect(top).not.toBeNull();
  await expect(top.locator('input[name=url]')).toHaveValue(rated);
  await page.screenshot({ path: path.join(artifacts, 'cvrate.png') });

  await top.check('input[name=cat2]');
  await top.check('input[name=cat6]');
  const answered = page.waitForResponse((r) => r.url().includes('submit='));
  await top.getByRole('button', { name: 'Rate' }).click();
  await (await answered).finished();
  await top.waitForURL(/submit=/);
  await expect(top.locator('h1')).toHaveText('Thank you');

  const lines = daemon.file('var/log/corvand/rating.txt').split('\n').filter((l) => l);
  expect(lines).toHaveLength(1);
  const fields = lines[0].split('\t');
  expect(fields).toHaveLength(4);
  expect(fields[0]).toMatch(/^\d\d\/[A-Z][a-z]{2}\/\d{4}:\d\d:\d\d:\d\d$/);
  expect(fields.slice(1, 3)).toEqual([rated, 'Adult, News']);
  const signed = fields.slice(0, 3).join('\t');
  expect(fields[3]).toBe(crypto.createHmac('md5', ratingKey).update(signed, 'latin1').digest('base64'));
  await context.close();
});

test('every help button opens a help page', async ({ browser }) => {
  const context = await login(browser);
  const page = await context.newPage();
  const topics = new Set();
  for (const name of pages) {
    await page.goto(`${daemon.base}/conf?navTo=${name}`);
    for (const href of await page.locator('a[href*="cvfile?name="]').evaluateAll(
      (links) => links.map((link) => link.getAttribute('href')))) topics.add(href);
  }
  expect(topics.size).toBeGreaterThanOrEqual(18);
  for (const href of [...topics, '/cvfile?name=not_available.htm']) {
    const response = await context.request.get(new URL(href, daemon.base).href);
    expect(response.status(), href).toBe(200);
    expect(response.headers()['content-type'], href).toBe('text/html');
    expect(await response.text(), href).toContain('<h1>');
  }

  // A click opens the help window.
  await page.goto(`${daemon.base}/conf?navTo=privacy`);
  const popup = context.waitForEvent('page');
  await page.locator('a[href*="privacy_cookie"]').click();
  const help = await popup;
  await help.waitForLoadState('load');
  await expect(help.locator('h1')).toHaveText('Cookies');
  await help.screenshot({ path: path.join(artifacts, 'help_privacy_cookie.png'), fullPage: true });

  // Nothing outside the files directory.
  for (const name of ['../errors/badrequest.html', '%2e%2e%2ferrors%2fbadrequest.html', '/etc/passwd']) {
    const response = await context.request.get(`${daemon.base}/cvfile?name=${name}`);
    expect(response.status(), name).toBe(404);
  }
  await context.close();
});
