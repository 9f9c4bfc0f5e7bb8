// Opens a generated report in Chromium and checks the index menu the template's script builds:
// sixteen links whose targets all exist, and a menu that slides out under the mouse and back.
// Usage: node menu_test.mjs REPORT.htm SCREENSHOT.png
import { test } from 'node:test';
import assert from 'node:assert/strict';
import { pathToFileURL } from 'node:url';
import { chromium } from 'playwright-core';

const [report, screenshot] = process.argv.slice(2);
if (!report || !screenshot) {
  console.error('usage: node menu_test.mjs REPORT.htm SCREENSHOT.png');
  process.exit(2);
}

const browser = await chromium.launch({
  executablePath: process.env.CHROMIUM || '/usr/bin/chromium',
  args: ['--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
         '--disable-background-networking', '--disable-component-update', '--disable-sync'],
});
const page = await browser.newPage({ viewport: { width: 1100, height: 800 } });
const scriptErrors = [];
page.on('pageerror', (e) => scriptErrors.push(e.message));
await page.goto(pathToFileURL(report).href);
// initSlide runs 1 ms after the menu is written.
await page.waitForFunction(() => document.getElementById('thessm')?.style.visibility === 'visible');

const menuLeft = () => page.evaluate(() => document.getElementById('thessm').style.left);

test('the menu is built with sixteen links that all land on an anchor', async () => {
  const links = await page.$$eval('#thessm a.ssmItems', (as) => as.map((a) => a.getAttribute('href')));
  assert.equal(links.length, 16);
  const anchors = await page.$$eval('a[name]', (as) => as.map((a) => a.getAttribute('name')));
  for (const href of links) {
    assert.ok(href.startsWith('#'), href);
    assert.ok(anchors.includes(href.slice(1)), `no anchor for ${href}`);
  }
  const bar = await page.$eval('#thessm', (el) => el.innerText.replace(/\s+/g, ''));
  assert.ok(bar.includes('INDEX'), 'the bar reads INDEX');
  assert.deepEqual(scriptErrors, []);
});

test('the menu rests 180 px to the left and slides out under the mouse, then back', async () => {
  assert.equal(await menuLeft(), '-180px');
  const box = await page.$eval('#basessm', (el) => {
    const r = el.getBoundingClientRect();
    return { top: r.top };
  });
  // The visible part is the bar at the left edge of the page.
  await page.mouse.move(8, box.top + 40);
  await page.waitForFunction(() => document.getElementById('thessm').style.left === '0px',
    null, { timeout: 5000 });
  await page.screenshot({ path: screenshot });
  await page.mouse.move(900, 700);
  await page.waitForFunction(() => document.getElementById('thessm').style.left === '-180px',
    null, { timeout: 5000 });
});

test('a link of the menu scrolls to its section', async () => {
  await page.mouse.move(8, 200);
  await page.waitForFunction(() => document.getElementById('thessm').style.left === '0px');
  await page.click('#thessm a.ssmItems[href="#Replication"]');
  const y = await page.evaluate(() => window.pageYOffset);
  assert.ok(y > 0, 'the page scrolled');
});

test.after(async () => { await browser.close(); });
