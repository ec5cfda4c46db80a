// The built site (build/web) played in headless Chromium. On a desktop window: the first
// drawing, a move, a wall bump, the way to the exit, "s", a second and a third game started
// from the page, the screen sized to the window, the focus back after a click beside it.
// On a phone (touch, 390 x 844): the whole screen in view, the on-screen keys, a game and a
// fight played by taps. Offline: the site from the service worker's cache, and a new
// release replacing it. Measures the page's budgets on the way and prints them. Needs
// `./run.sh web` (or the web preset) to have built the site, Debian's chromium (or
// CHROMIUM=path) and `npm ci`.
import assert from 'node:assert/strict';
import fs from 'node:fs';
import os from 'node:os';
import path from 'node:path';
import { after, before, test } from 'node:test';
import { fileURLToPath } from 'node:url';
import zlib from 'node:zlib';

import puppeteer from 'puppeteer-core';

import { serveFolder } from '../serve.mjs';

const HERE = path.dirname(fileURLToPath(import.meta.url));
const SITE = path.resolve(HERE, '../../build/web');
const CHROMIUM = process.env.CHROMIUM ?? '/usr/bin/chromium';
// Every wait has a deadline; a loaded machine may be slow, a hung page is never waited for.
const DEADLINE_MS = 20000;

const SOURCE = path.resolve(HERE, '../..');
const CHROMIUM_ARGS = [
  '--no-sandbox',
  '--disable-gpu',
  '--disable-quic',
  '--no-first-run',
  '--disable-background-networking',
  '--disable-component-update',
  '--disable-sync',
];
// The keys of the on-screen pad.
const PAD_KEYS = ['8', '2', '4', '6', 's', 'f', 'k'];
const PHONE = { width: 390, height: 844, deviceScaleFactor: 3, isMobile: true, hasTouch: true };
const PHONE_USER_AGENT =
  'Mozilla/5.0 (Linux; Android 14; Pixel 8) AppleWebKit/537.36 (KHTML, like Gecko) Mobile Safari/537.36';

const STATUS_AT_START = 'Quirn:  L:   5 A:  80 R: 50';
const STATUS_AFTER_ONE_BUMP = 'Quirn:  L:   5 A:  79 R: 49';

let server;
let browser;
let profile;
let page;
let url;
const pageErrors = [];

before(async () => {
  assert.ok(fs.existsSync(path.join(SITE, 'index.html')), `${SITE} is not built: ./run.sh web`);
  assert.ok(fs.existsSync(CHROMIUM), `${CHROMIUM} is missing: apt-get install chromium`);
  server = await serveFolder(SITE, 0);
  url = `http://127.0.0.1:${server.address().port}/`;
  profile = fs.mkdtempSync(path.join(os.tmpdir(), 'dungeon-chromium-'));
  browser = await puppeteer.launch({
    executablePath: CHROMIUM,
    headless: true,
    userDataDir: profile,
    // This machine's network is closed: Chromium must not try to reach anything itself.
    args: CHROMIUM_ARGS,
    timeout: DEADLINE_MS,
  });
  page = await newPage(browser);
  await page.setViewport({ width: 1024, height: 720 });
});

async function newPage(context) {
  const opened = await context.newPage();
  opened.setDefaultTimeout(DEADLINE_MS);
  opened.on('pageerror', (error) => pageErrors.push(String(error)));
  opened.on('console', (message) => {
    if (message.type() === 'error') {
      pageErrors.push(message.text());
    }
  });
  return opened;
}

after(async () => {
  if (browser) {
    const process = browser.process();
    const closed = browser.close().catch(() => {});
    const timeout = new Promise((resolve) => setTimeout(resolve, 5000).unref());
    await Promise.race([closed, timeout]);
    if (process && process.exitCode === null && process.signalCode === null) {
      process.kill('SIGKILL');
    }
  }
  if (server) {
    server.closeAllConnections();
    await new Promise((resolve) => server.close(resolve));
  }
  if (profile) {
    fs.rmSync(profile, { recursive: true, force: true });
  }
});

const screenText = (on = page) => on.evaluate(() => window.dungeon.screenText());
const gameState = (on = page) => on.evaluate(() => window.dungeon.state());
// The cell at column x, row y (both from 1), as shown.
const at = (screen, x, y) => screen[y - 1][x - 1];
// The message pane: columns 42 to 80 of rows 1 to 20.
const messages = (screen) => screen.slice(0, 20).map((row) => row.slice(41).trimEnd());
const heroCells = (screen) => {
  const cells = [];
  for (let y = 1; y <= 20; y++) {
    for (let x = 1; x <= 40; x++) {
      if (at(screen, x, y) === 'H') {
        cells.push([x, y]);
      }
    }
  }
  return cells;
};

const isFirstDrawing = (rows) => rows[19].includes('Quirn:') && heroCells(rows).length === 1;

async function waitForScreen(predicate, what, on = page) {
  const deadline = Date.now() + DEADLINE_MS;
  let screen = [];
  while (Date.now() < deadline) {
    screen = await screenText(on);
    if (predicate(screen)) {
      return screen;
    }
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  assert.fail(`no ${what} within ${DEADLINE_MS} ms; the screen:\n${screen.join('\n')}`);
}

async function waitForState(wanted, on = page) {
  await on.waitForFunction((state) => window.dungeon.state().state === state, {}, wanted);
  return gameState(on);
}

// Ways to type a key: on the keyboard, or by a tap on the pad.
const typeOnKeyboard = (on) => (key) => on.keyboard.press(key);
const tapOnPad = (on) => (key) => on.tap(`#pad button[data-key="${key}"]`);

// Types `key` and waits until the screen is no longer `before`.
async function press(key, before, type = typeOnKeyboard(page), on = page) {
  await type(key);
  return waitForScreen((screen) => screen.join('\n') !== before.join('\n'), `change after "${key}"`, on);
}

// Boxes of elements, in CSS pixels of the viewport.
const boxesOf = (on, selector) => on.$$eval(selector, (elements) => elements.map((element) => {
  const { left, top, right, bottom, width, height } = element.getBoundingClientRect();
  return { left, top, right, bottom, width, height };
}));
const overlap = (a, b) => a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
const describe = ({ left, top, width, height }) =>
  `${width.toFixed(0)} x ${height.toFixed(0)} at (${left.toFixed(0)}, ${top.toFixed(0)})`;

// The terminal's 80 x 25 cells and the page around them, all inside the viewport: nothing
// cut off, nothing to scroll to. Returns the cells' box.
async function assertWholeScreenInView(on, viewport) {
  const page = await on.evaluate(() => ({
    scrollWidth: document.documentElement.scrollWidth,
    scrollHeight: document.documentElement.scrollHeight,
    width: window.innerWidth,
    height: window.innerHeight,
  }));
  assert.equal(page.width, viewport.width, 'the layout viewport is the device\'s width');
  assert.ok(page.scrollWidth <= page.width, `no scrolling sideways: ${page.scrollWidth} > ${page.width}`);
  assert.ok(page.scrollHeight <= page.height, `no scrolling down: ${page.scrollHeight} > ${page.height}`);
  const inView = (box) => box.left >= 0 && box.top >= 0 && box.right <= page.width + 0.5 &&
                          box.bottom <= page.height + 0.5;
  const [cells] = await boxesOf(on, '.xterm-screen');
  assert.ok(inView(cells), `the 80 x 25 cells in view: ${describe(cells)}`);
  const rows = await boxesOf(on, '.xterm-rows > div');
  assert.equal(rows.length, 25);
  rows.forEach((row, index) => assert.ok(inView(row), `row ${index + 1} in view: ${describe(row)}`));
  // The rows hold all 80 columns: the last column's right edge is the cells' right edge.
  const columns = await on.evaluate(() => {
    const row = document.querySelector('.xterm-rows > div:nth-child(20)');
    const range = document.createRange();
    range.selectNodeContents(row);
    return range.getBoundingClientRect().right;
  });
  assert.ok(columns <= page.width + 0.5, `the status line ends at ${columns}, outside the viewport`);
  for (const selector of ['#help', '#ended']) {
    const [box] = await boxesOf(on, selector);
    assert.ok(inView(box), `${selector} in view: ${describe(box)}`);
  }
  return cells;
}

function assertFirstDrawing(screen) {
  assert.equal(screen.length, 25);
  for (const row of screen) {
    assert.equal(row.length, 80);
  }
  const wall = 'W'.repeat(40);
  assert.equal(screen[0].slice(0, 40), wall);
  assert.equal(screen[19].slice(0, 40), wall);
  for (let y = 1; y <= 20; y++) {
    assert.equal(at(screen, 1, y), 'W', `left wall, row ${y}`);
    assert.equal(at(screen, 40, y), 'W', `right wall, row ${y}`);
  }
  assert.equal(at(screen, 2, 2), '>');
  assert.deepEqual(heroCells(screen), [[3, 3]]);
  assert.equal(screen[19].slice(41, 41 + STATUS_AT_START.length), STATUS_AT_START);
  assert.deepEqual(messages(screen).slice(0, 19), Array(19).fill(''));
  for (const row of screen.slice(20)) {
    assert.equal(row.trimEnd(), '');
  }
}

// The two ways from the start (3, 3) to the exit (2, 2): up then left over (3, 2), or left
// then up over (2, 3). A cell that shows "." holds nothing (monsters and items are shown).
const WAYS = [
  { first: '8', second: '4', between: [3, 2], wall: [3, 1] },
  { first: '4', second: '8', between: [2, 3], wall: [1, 3] },
];
let way;
let firstScreen;

test('the page takes the focus and shows the first drawing', { timeout: 4 * DEADLINE_MS }, async () => {
  // A dungeon with something on both cells between start and exit is rare; the page is
  // loaded again until one has a free way.
  for (let load = 0; load < 10 && way === undefined; load++) {
    await page.goto(url, { waitUntil: 'load' });
    firstScreen = await waitForScreen((screen) => screen[19].includes('Quirn:'), 'first drawing');
    way = WAYS.find(({ between: [x, y] }) => at(firstScreen, x, y) === '.');
  }
  assert.ok(way, 'ten dungeons in a row without a free cell between start and exit');
  assertFirstDrawing(firstScreen);
  assert.deepEqual(await gameState(), { state: 'running' });
  const focused = await page.evaluate(
    () => document.activeElement?.closest('#screen') !== null && document.hasFocus());
  assert.ok(focused, 'the terminal has the keyboard focus');
  assert.equal(await page.$eval('#ended', (element) => element.hidden), true);
});

test('a move, wall bumps with "AU!!" and the way to the exit', { timeout: 4 * DEADLINE_MS }, async () => {
  assert.ok(way, 'needs the first drawing');
  const [betweenX, betweenY] = way.between;

  // A click beside the terminal, here on the page's margin, leaves the keys with the game.
  await page.mouse.click(3, 3);
  // Escape is a key of its own once nothing follows it for a while: ignored, and not the
  // Alt prefix of the next key.
  await page.keyboard.press('Escape');
  await new Promise((resolve) => setTimeout(resolve, 300));
  let screen = await press(way.first, firstScreen);
  assert.deepEqual(heroCells(screen), [[betweenX, betweenY]]);
  assert.ok(!'.H'.includes(at(screen, 3, 3)), 'the start cell is seen now');
  assert.equal(screen[19].slice(41).trimEnd(), STATUS_AT_START);

  // Into the wall beyond: the hero stays and is hurt.
  screen = await press(way.first, screen);
  assert.deepEqual(heroCells(screen), [[betweenX, betweenY]]);
  assert.equal(messages(screen)[0], 'AU!!');
  assert.equal(screen[19].slice(41).trimEnd(), STATUS_AFTER_ONE_BUMP);
  // More bumps, each a turn of its own: one "AU!!" a row further down each time.
  for (let bump = 2; bump <= 5; bump++) {
    screen = await press(way.first, screen);
    assert.deepEqual(messages(screen).slice(0, bump), Array(bump).fill('AU!!'));
  }
  assert.equal(at(screen, ...way.wall), 'W');

  screen = await press(way.second, screen);
  assert.deepEqual(heroCells(screen), [[2, 2]]);
  assert.equal(messages(screen)[5], 'Ausgang erreicht!');
  assert.deepEqual(await waitForState('ended'), { state: 'ended', exitStatus: 0 });
  assert.equal(await page.$eval('#ended', (element) => element.hidden), false);
  // The last picture stays.
  await new Promise((resolve) => setTimeout(resolve, 200));
  assert.deepEqual(await screenText(), screen);
});

test('a second game from the page, ended with "s"', { timeout: 4 * DEADLINE_MS }, async () => {
  assert.equal((await gameState()).state, 'ended', 'needs the first game to have ended');
  // A key typed into the terminal while no game runs must not reach the next game.
  await page.focus('#screen textarea');
  await page.keyboard.press('s');
  await page.click('#new-game');
  const screen = await waitForScreen(
    (rows) => rows[19].includes('Quirn:') && !rows.join('').includes('Ausgang'),
    'second game');
  assertFirstDrawing(screen);
  assert.deepEqual(await gameState(), { state: 'running' });
  assert.equal(await page.$eval('#ended', (element) => element.hidden), true);
  const focused = await page.evaluate(() => document.activeElement?.closest('#screen') !== null);
  assert.ok(focused, 'the terminal has the keyboard focus again');

  await page.keyboard.press('s');
  assert.deepEqual(await waitForState('ended'), { state: 'ended', exitStatus: 0 });
  // Nothing is drawn on "s": the first drawing stays.
  assert.deepEqual(await screenText(), screen);
  assert.deepEqual(pageErrors, []);
});

// The keys that walk the hero from its cell onto the nearest monster, over cells known to be
// empty floor ("." is floor not yet seen: monsters and items always show), the cell it
// comes from and the monster's cell.
function wayToAMonster(screen) {
  const steps = [
    ['8', 0, -1],
    ['2', 0, 1],
    ['4', -1, 0],
    ['6', 1, 0],
  ];
  const [[startX, startY]] = heroCells(screen);
  const cameBy = new Map([[`${startX},${startY}`, null]]);
  const queue = [[startX, startY]];
  while (queue.length > 0) {
    const [x, y] = queue.shift();
    for (const [key, dx, dy] of steps) {
      const [nx, ny] = [x + dx, y + dy];
      const name = `${nx},${ny}`;
      const cell = at(screen, nx, ny);
      if (cameBy.has(name) || (cell !== 'M' && cell !== '.' && cell !== ' ')) {
        continue;
      }
      cameBy.set(name, [`${x},${y}`, key]);
      if (cell === 'M') {
        const keys = [];
        for (let step = cameBy.get(name); step !== null; step = cameBy.get(step[0])) {
          keys.unshift(step[1]);
        }
        return { keys, from: [x, y], monster: [nx, ny] };
      }
      queue.push([nx, ny]);
    }
  }
  return null;
}

const QUESTION = '(F)lucht oder weiter (K)aempfen?';

// Walks the hero of a game that has just begun onto a monster and fights it out: on "k" for
// up to three rounds, then flight on "f"; the game is then ended with "s" unless the hero
// died. `type` types a key; `ignoredKeys` are typed before each "k" and must change nothing.
// `ended` is the last game's picture, which stands until the new game draws its own.
async function playAFight(on, type, ignoredKeys, ended) {
  let screen = await waitForScreen(
    (rows) => rows.join('\n') !== ended.join('\n') && rows[19].includes('Quirn:') &&
              heroCells(rows).length === 1,
    'a new game', on);
  const way = wayToAMonster(screen);
  assert.ok(way, 'a monster can be reached');
  for (const key of way.keys) {
    screen = await press(key, screen, type, on);
  }
  // The map is drawn again only when the fight is over: until then the hero shows on the
  // cell it came from.
  const fightOver = (rows) => heroCells(rows).length === 1 &&
                              heroCells(rows)[0].join() === way.monster.join();
  screen = await waitForScreen(
    (rows) => messages(rows).includes(QUESTION) || fightOver(rows), 'fight', on);
  let pane = messages(screen);
  assert.deepEqual([pane[0], pane[1], pane[3], pane[7]],
                   ['Monster greift an!', 'Quirn', 'trifft auf', 'Kampfergebnis']);
  // Fight on for up to two more rounds while the question comes, then flee.
  for (let round = 2; round <= 3 && !fightOver(screen); round++) {
    assert.deepEqual(heroCells(screen), [way.from]);
    assert.equal(at(screen, ...way.monster), 'M');
    for (const key of ignoredKeys) {
      await type(key);
    }
    await type('k');
    screen = await waitForScreen((rows) => rows.join('\n') !== screen.join('\n'), 'next round', on);
    pane = messages(screen);
    assert.equal(pane[0], 'Monster greift an!');
  }
  if (!fightOver(screen)) {
    assert.ok(pane.includes(QUESTION));
    await type('f');
    screen = await waitForScreen(fightOver, 'the end of the fight', on);
  }
  // Fled, or one of the two is dead: the game goes on, or ends with the hero's death.
  if ((await gameState(on)).state === 'running') {
    assert.ok(screen[19].slice(41).startsWith('Quirn:'), screen[19]);
    await type('s');
  } else {
    pane = messages(screen);
    assert.ok(pane.some((line) => line.startsWith('Quirn tot!')), pane.join('\n'));
  }
  assert.deepEqual(await waitForState('ended', on), { state: 'ended', exitStatus: 0 });
}

test('a fight in a third game: rounds on "k", flight on "f"', { timeout: 8 * DEADLINE_MS }, async () => {
  assert.equal((await gameState()).state, 'ended', 'needs the second game to have ended');
  const ended = await screenText();
  // After a click beside the terminal the keys go to the new game's button: Enter starts it.
  await page.mouse.click(3, 3);
  await page.keyboard.press('Enter');
  // Other keys, upper case included, are no answer.
  await playAFight(page, typeOnKeyboard(page), ['x', 'K'], ended);
  assert.deepEqual(pageErrors, []);
});

test('desktop: the screen grows with the window, the pad stays hidden', { timeout: 4 * DEADLINE_MS }, async (t) => {
  const page = await newPage(browser);
  await page.setViewport({ width: 1024, height: 720 });
  await page.goto(url, { waitUntil: 'load' });
  await waitForScreen(isFirstDrawing, 'first drawing', page);
  const sizes = [];
  for (const viewport of [{ width: 1024, height: 720 }, { width: 1920, height: 1080 }, { width: 800, height: 600 }]) {
    await page.setViewport(viewport);
    // The terminal follows the window when the page has laid itself out anew.
    await page.waitForFunction((width) => window.innerWidth === width, {}, viewport.width);
    await page.evaluate(() => new Promise((resolve) => requestAnimationFrame(() => requestAnimationFrame(resolve))));
    const cells = await assertWholeScreenInView(page, viewport);
    // No stamp in the middle: the screen takes (nearly) the whole width or the whole height
    // that the page leaves it; cells of whole device pixels leave a little over.
    const [stage] = await boxesOf(page, '#stage');
    const filled = Math.max(cells.width / stage.width, cells.height / stage.height);
    assert.ok(filled > 0.9, `the screen fills ${(filled * 100).toFixed(1)} % of its room`);
    const fontSize = await page.evaluate(() => window.dungeon.fontSize());
    sizes.push(fontSize);
    t.diagnostic(`${viewport.width} x ${viewport.height}: screen ${describe(cells)}, font ${fontSize} px, ` +
                 `${(filled * 100).toFixed(1)} % of its room`);
    const pad = await boxesOf(page, '#pad button');
    assert.equal(pad.length, PAD_KEYS.length);
    assert.ok(pad.every((box) => box.width === 0 && box.height === 0), 'no pad with mouse and keyboard');
  }
  assert.ok(sizes[1] > sizes[0] && sizes[0] > sizes[2], `font sizes ${sizes.join(', ')}`);
  await page.close();
  assert.deepEqual(pageErrors, []);
});

// What the page has measured so far: key (or tap) to redrawn screen, in ms.
const keyTimings = (on) => on.evaluate(
  () => performance.getEntriesByName('dungeon-key-to-screen').map((entry) => entry.duration));
const tapTimings = [];

const PHONES = [
  { name: 'phone upright', viewport: PHONE },
  { name: 'phone sideways', viewport: { ...PHONE, width: 844, height: 390, isLandscape: true } },
  { name: 'small phone', viewport: { ...PHONE, width: 360, height: 640, deviceScaleFactor: 2 } },
];

test('phone: the whole screen in view, upright and sideways, the pad beside it', { timeout: 6 * DEADLINE_MS }, async (t) => {
  const context = await browser.createBrowserContext();
  try {
    for (const { name, viewport } of PHONES) {
      const phone = await newPage(context);
      await phone.emulate({ viewport, userAgent: PHONE_USER_AGENT });
      await phone.goto(url, { waitUntil: 'load' });
      await waitForScreen(isFirstDrawing, `first drawing on the ${name}`, phone);
      assert.ok(await phone.evaluate(() => window.matchMedia('(pointer: coarse)').matches));
      const cells = await assertWholeScreenInView(phone, viewport);
      const [frame] = await boxesOf(phone, '#screen');
      const keys = await phone.$$eval('#pad button', (buttons) => buttons.map((button) => button.dataset.key));
      assert.deepEqual([...keys].sort(), [...PAD_KEYS].sort());
      const buttons = await boxesOf(phone, '#pad button');
      buttons.forEach((box, index) => {
        const what = `the pad's "${keys[index]}", ${describe(box)}`;
        assert.ok(box.width >= 44 && box.height >= 44, `${what}: at least 44 x 44`);
        assert.ok(box.left >= 0 && box.top >= 0 && box.right <= viewport.width &&
                  box.bottom <= viewport.height, `${what}: in view`);
        assert.ok(!overlap(box, frame), `${what}: off the screen ${describe(frame)}`);
      });
      const [pad] = await boxesOf(phone, '#pad');
      const fontSize = await phone.evaluate(() => window.dungeon.fontSize());
      t.diagnostic(`${name} ${viewport.width} x ${viewport.height}: screen ${describe(cells)}, ` +
                   `font ${fontSize} px, pad ${describe(pad)}, keys ${buttons[0].width.toFixed(0)} px`);
      await phone.close();
    }
  } finally {
    await context.close();
  }
  assert.deepEqual(pageErrors, []);
});

test('phone: taps move the hero, end the game, start the next and fight', { timeout: 10 * DEADLINE_MS }, async () => {
  const context = await browser.createBrowserContext();
  try {
    const phone = await newPage(context);
    await phone.emulate({ viewport: PHONE, userAgent: PHONE_USER_AGENT });
    const tap = tapOnPad(phone);
    // A dungeon whose cell right of the start is free floor.
    let screen;
    for (let load = 0; load < 10; load++) {
      await phone.goto(url, { waitUntil: 'load' });
      screen = await waitForScreen(isFirstDrawing, 'first drawing', phone);
      if (at(screen, 4, 3) === '.') {
        break;
      }
    }
    assert.equal(at(screen, 4, 3), '.', 'ten dungeons in a row with something right of the start');
    screen = await press('6', screen, tap, phone);
    assert.deepEqual(heroCells(screen), [[4, 3]]);
    assert.equal(screen[19].slice(41).trimEnd(), STATUS_AT_START);
    // The keys stay with the terminal, and the phone's own keyboard stays away.
    const focus = await phone.evaluate(() => {
      const active = document.activeElement;
      const editable = active instanceof HTMLTextAreaElement || active instanceof HTMLInputElement ||
                       active?.isContentEditable === true;
      return { inTerminal: active?.closest('#screen') !== null, editable, inputMode: active?.inputMode };
    });
    assert.ok(focus.inTerminal, 'the terminal keeps the focus after a tap');
    assert.ok(!focus.editable || focus.inputMode === 'none', `no phone keyboard: ${JSON.stringify(focus)}`);

    await tap('s');
    assert.deepEqual(await waitForState('ended', phone), { state: 'ended', exitStatus: 0 });
    assert.deepEqual(await screenText(phone), screen);

    await phone.tap('#new-game');
    assert.deepEqual(await waitForState('running', phone), { state: 'running' });
    await playAFight(phone, tap, [], screen);
    tapTimings.push(...await keyTimings(phone));
  } finally {
    await context.close();
  }
  assert.deepEqual(pageErrors, []);
});

// The version's one home.
const VERSION = fs.readFileSync(path.join(SOURCE, 'VERSION'), 'utf8').trim();

// Serves `folder` under /games/dungeon/, as a project page would from a folder of its site.
async function serveInAFolder(folder) {
  const root = fs.mkdtempSync(path.join(os.tmpdir(), 'dungeon-root-'));
  fs.mkdirSync(path.join(root, 'games'));
  fs.symlinkSync(folder, path.join(root, 'games', 'dungeon'));
  const folderServer = await serveFolder(root, 0);
  return {
    url: `http://127.0.0.1:${folderServer.address().port}/games/dungeon/`,
    async stop() {
      folderServer.closeAllConnections();
      await new Promise((resolve) => folderServer.close(resolve));
    },
    remove() {
      fs.unlinkSync(path.join(root, 'games', 'dungeon'));
      fs.rmSync(root, { recursive: true, force: true });
    },
  };
}

// Waits until the page's service worker runs, and returns the names of the site's caches.
async function offlineCaches(on) {
  return on.evaluate(async (deadline) => {
    const timeout = new Promise((resolve, reject) => {
      setTimeout(() => reject(new Error(`no service worker within ${deadline} ms`)), deadline);
    });
    const registration = await Promise.race([navigator.serviceWorker.ready, timeout]);
    const names = await caches.keys();
    return names.filter((name) => name.startsWith('dungeon ') && name.endsWith(` ${registration.scope}`));
  }, DEADLINE_MS);
}

test('offline: after one visit the game starts and plays without the network', { timeout: 6 * DEADLINE_MS }, async () => {
  const site = await serveInAFolder(SITE);
  const context = await browser.createBrowserContext();
  try {
    const visitor = await newPage(context);
    await visitor.goto(site.url, { waitUntil: 'load' });
    await waitForScreen(isFirstDrawing, 'first drawing', visitor);
    const names = await offlineCaches(visitor);
    assert.equal(names.length, 1, names.join(', '));
    assert.ok(names[0].startsWith(`dungeon ${VERSION}-`), `${names[0]} is release ${VERSION}'s`);

    // The network gone: no server, and the browser offline too.
    await site.stop();
    await visitor.setOfflineMode(true);
    await visitor.reload({ waitUntil: 'load' });
    let screen = await waitForScreen(isFirstDrawing, 'first drawing offline', visitor);
    assertFirstDrawing(screen);
    assert.ok(await visitor.evaluate(() => navigator.serviceWorker.controller !== null));
    const step = [['6', 4, 3], ['2', 3, 4], ['8', 3, 2], ['4', 2, 3]]
      .find(([, x, y]) => at(screen, x, y) === '.');
    if (step) {
      screen = await press(step[0], screen, typeOnKeyboard(visitor), visitor);
      assert.deepEqual(heroCells(screen), [step.slice(1)]);
    }
    await visitor.keyboard.press('s');
    assert.deepEqual(await waitForState('ended', visitor), { state: 'ended', exitStatus: 0 });
  } finally {
    await context.close();
    await site.stop();
    site.remove();
  }
  assert.deepEqual(pageErrors, []);
});

test('offline: a new release replaces the cached one', { timeout: 6 * DEADLINE_MS }, async () => {
  // A copy of the site that becomes the next release while a visitor has it cached.
  const copy = fs.mkdtempSync(path.join(os.tmpdir(), 'dungeon-release-'));
  fs.cpSync(SITE, copy, { recursive: true });
  const site = await serveInAFolder(copy);
  const context = await browser.createBrowserContext();
  try {
    const visitor = await newPage(context);
    await visitor.goto(site.url, { waitUntil: 'load' });
    await waitForScreen(isFirstDrawing, 'first drawing', visitor);
    const [first] = await offlineCaches(visitor);

    const worker = path.join(copy, 'service-worker.js');
    const release = fs.readFileSync(worker, 'utf8').match(/const RELEASE = '([^']+)';/)[1];
    fs.writeFileSync(worker, fs.readFileSync(worker, 'utf8').replace(release, `${release}-next`));
    const index = path.join(copy, 'index.html');
    fs.writeFileSync(index, fs.readFileSync(index, 'utf8').replace('<title>Dungeon</title>',
                                                                   '<title>Dungeon next</title>'));

    // The visit after the release still shows the cached one while the new one is fetched.
    await visitor.reload({ waitUntil: 'load' });
    assert.equal(await visitor.title(), 'Dungeon');
    const deadline = Date.now() + DEADLINE_MS;
    let names = [first];
    while (Date.now() < deadline && (names.length !== 1 || names[0] === first)) {
      await new Promise((resolve) => setTimeout(resolve, 50));
      names = await offlineCaches(visitor);
    }
    assert.deepEqual(names, [first.replace(release, `${release}-next`)], 'the old cache has gone');
    await visitor.reload({ waitUntil: 'load' });
    assert.equal(await visitor.title(), 'Dungeon next');
    await waitForScreen(isFirstDrawing, 'first drawing of the new release', visitor);
  } finally {
    await context.close();
    await site.stop();
    site.remove();
    fs.rmSync(copy, { recursive: true, force: true });
  }
  assert.deepEqual(pageErrors, []);
});

const median = (values) => [...values].sort((a, b) => a - b)[Math.floor(values.length / 2)];

test('budgets: load to first drawing, key to screen, download size', { timeout: 10 * DEADLINE_MS }, async (t) => {
  // Cold loads, each in a fresh profile: nothing cached, no service worker.
  const firstDraws = [];
  for (let load = 0; load < 11; load++) {
    const context = await browser.createBrowserContext();
    try {
      const cold = await newPage(context);
      await cold.setViewport({ width: 1024, height: 720 });
      await cold.goto(url, { waitUntil: 'load' });
      await cold.waitForFunction(() => performance.getEntriesByName('dungeon-first-draw').length === 1);
      firstDraws.push(await cold.evaluate(
        () => performance.getEntriesByName('dungeon-first-draw')[0].startTime));
    } finally {
      await context.close();
    }
  }
  const keys = await keyTimings(page);
  assert.ok(keys.length >= 8, `${keys.length} keys measured`);
  assert.ok(tapTimings.length >= 3, `${tapTimings.length} taps measured`);
  const gzipOf = (names) => {
    let bytes = 0;
    let gzipped = 0;
    for (const name of names) {
      const content = fs.readFileSync(path.join(SITE, name));
      bytes += content.length;
      gzipped += zlib.gzipSync(content, { level: 9 }).length;
    }
    return `${bytes} bytes, ${gzipped} bytes gzip`;
  };
  const ownFiles = ['index.html', 'dungeon-page.css', 'dungeon-page.js', 'dungeon.js', 'dungeon.wasm',
                    'dungeon.webmanifest', 'service-worker.js'];
  const lines = [
    `page load to first drawing, ${firstDraws.length} cold loads: median ${median(firstDraws).toFixed(0)} ms, ` +
      `min ${Math.min(...firstDraws).toFixed(0)} ms, max ${Math.max(...firstDraws).toFixed(0)} ms (goal: under 300 ms)`,
    `key to redrawn screen: median ${median(keys).toFixed(1)} ms, max ${Math.max(...keys).toFixed(1)} ms ` +
      `over ${keys.length} keys (goal: under 16 ms)`,
    `tap to redrawn screen (phone): median ${median(tapTimings).toFixed(1)} ms, ` +
      `max ${Math.max(...tapTimings).toFixed(1)} ms over ${tapTimings.length} taps`,
    `dungeon.js + dungeon.wasm: ${gzipOf(['dungeon.js', 'dungeon.wasm'])}`,
    `the page's own files (${ownFiles.join(', ')}): ${gzipOf(ownFiles)} (goal: under 60 KB gzip)`,
    `icons: ${gzipOf(['icon-192.png', 'icon-512.png'])}; xterm.js and its stylesheet: ` +
      `${gzipOf(['xterm.js', 'xterm.css'])}; font: ${gzipOf(['vt323.woff2'])}`,
  ];
  for (const line of lines) {
    t.diagnostic(line);
  }
});
