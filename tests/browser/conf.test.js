// An administrator at the configuration pages: logs in, opens every page,
// changes a setting and a password, and is protected from other sites' forms.
const { test, expect } = require('@playwright/test');
const path = require('node:path');
const { start } = require('./daemon');

const artifacts = process.env.CORVAND_ARTIFACTS || 'results';
const pages = ['proxy_engine', 'standard_filter', 'privacy', 'access_control', 'security'];

let daemon;
test.describe.configure({ mode: 'serial' });
test.beforeAll(async () => { daemon = await start(); });
test.afterAll(async () => { if (daemon) await daemon.stop(); });

function login(browser, password = 'tarnivelo') {
  return browser.newContext({ httpCredentials: { username: 'admin', password } });
}

// Submits the form and waits until the answer page has loaded, so that what
// follows sees the stored settings rather than racing the navigation.
async function apply(page) {
  const loaded = page.waitForEvent('load');
  const answered = page.waitForResponse((r) => r.request().method() === 'POST');
  await page.getByRole('button', { name: 'Apply changes' }).click();
  await (await answered).finished();
  await loaded;
}

test('refuses without credentials and serves images without them', async ({ request }) => {
  const page = await request.get(`${daemon.base}/conf`);
  expect(page.status()).toBe(401);
  expect(page.headers()['www-authenticate']).toBe('Basic realm="Corvane configuration"');
  const image = await request.get(`${daemon.base}/conf?image=LOGO.GIF`);
  expect(image.status()).toBe(200);
  expect(image.headers()['content-type']).toBe('image/gif');
});

test('every page opens, and the first warns of the default password', async ({ browser }) => {
  const context = await login(browser);
  const page = await context.newPage();
  await page.goto(`${daemon.base}/conf`);
  await expect(page.locator('.alert')).toContainText('ALERT: Using default password');
  for (const name of [...pages, 'list_editor&listType=URL']) {
    await page.goto(`${daemon.base}/conf?navTo=${name}`);
    await expect(page.locator('footer')).toContainText('3.0 final');
    expect(await page.content()).not.toMatch(/\$[A-Za-z_.]+\$/); // no placeholder left
    await page.screenshot({ path: path.join(artifacts, `${name.replace(/[&=]/g, '_')}.png`), fullPage: true });
  }
  // The tabs lead from page to page.
  await page.getByRole('link', { name: 'Privacy' }).click();
  await expect(page).toHaveTitle(/Privacy/);
  await context.close();
});

test('a ticked box is applied, kept and saved; unticking stores 0', async ({ browser }) => {
  const context = await login(browser);
  const page = await context.newPage();
  await page.goto(`${daemon.base}/conf?navTo=privacy`);
  const box = page.locator('input[type=checkbox][name="Privacy.WebBugFilterEnabled"]');
  await expect(box).not.toBeChecked();
  await box.check();
  await apply(page);
  await page.reload();
  await expect(box).toBeChecked();
  expect(daemon.file('etc/corvand/corvand.conf')).toMatch(/\nWebBugFilterEnabled=1\n/);
  await box.uncheck();
  await apply(page);
  await expect(box).not.toBeChecked();
  expect(daemon.file('etc/corvand/corvand.conf')).toMatch(/\nWebBugFilterEnabled=0\n/);
  await context.close();
});

test('password change: both messages, then the new password', async ({ browser }) => {
  const context = await login(browser);
  const page = await context.newPage();
  await page.goto(`${daemon.base}/conf`);
  await page.fill('input[name=passwd1]', 'only-once');
  await apply(page);
  await expect(page.locator('main')).toContainText('Please enter password and password retype !');
  await page.fill('input[name=passwd1]', 'first');
  await page.fill('input[name=passwd2]', 'second');
  await apply(page);
  await expect(page.locator('main')).toContainText('Password and password retype must be the same !');
  await page.fill('input[name=passwd1]', 'new-secret');
  await page.fill('input[name=passwd2]', 'new-secret');
  await apply(page);
  await context.close();

  const stored = daemon.file('etc/corvand/corvand.conf');
  expect(stored).not.toContain('new-secret');
  expect(stored).toMatch(/\nPassword='[A-Za-z0-9+/=]{24}'\n/);
  const old = await (await login(browser)).request.get(`${daemon.base}/conf`);
  expect(old.status()).toBe(401);
  const fresh = await login(browser, 'new-secret');
  const page2 = await fresh.newPage();
  await page2.goto(`${daemon.base}/conf`);
  await expect(page2.locator('.alert')).toHaveCount(0);
  await fresh.close();
});

test("another site's form cannot change the settings", async ({ browser }) => {
  const context = await login(browser, 'new-secret');
  const page = await context.newPage();
  await page.goto(`${daemon.base}/conf?navTo=privacy`);
  const before = daemon.file('etc/corvand/corvand.conf');
  // What the browser sends for a form on another site: the administrator's
  // credentials, and that site as the Origin (or only as the Referer).
  const form = { navTo: 'privacy', set: 'yes', 'Privacy.WebBugFilterEnabled': '1' };
  for (const headers of [{ Origin: 'http://evil.example' }, { Origin: 'null' },
    { Referer: 'http://evil.example/page.html' }]) {
    const response = await context.request.post(`${daemon.base}/conf`, { headers, form });
    expect(response.status(), JSON.stringify(headers)).toBe(403);
  }
  // A GET with set=yes shows the page and changes nothing.
  await page.goto(`${daemon.base}/conf?navTo=privacy&set=yes&Privacy.WebBugFilterEnabled=1`);
  await expect(page.locator('input[type=checkbox][name="Privacy.WebBugFilterEnabled"]')).not.toBeChecked();
  expect(daemon.file('etc/corvand/corvand.conf')).toBe(before);
  await context.close();
});
