// The built site (build/web) played in headless Chromium: the first drawing, a move, a
// wall bump, the way to the exit, "s", and a second game started from the page. Measures
// the page's budgets on the way and prints them. Needs `./run.sh web` (or the web preset)
// to have built the site, Debian's chromium (or CHROMIUM=path) and `npm ci`.
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
    args: [
      '--no-sandbox',
      '--disable-gpu',
      '--disable-quic',
      '--no-first-run',
      '--disable-background-networking',
      '--disable-component-update',
      '--disable-sync',
    ],
    timeout: DEADLINE_MS,
  });
  page = await browser.newPage();
  await page.setViewport({ width: 1024, height: 720 });
  page.setDefaultTimeout(DEADLINE_MS);
  page.on('pageerror', (error) => pageErrors.push(String(error)));
  page.on('console', (message) => {
    if (message.type() === 'error') {
      pageErrors.push(message.text());
    }
  });
});

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

const screenText = () => page.evaluate(() => window.dungeon.screenText());
const gameState = () => page.evaluate(() => window.dungeon.state());
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

async function waitForScreen(predicate, what) {
  const deadline = Date.now() + DEADLINE_MS;
  let screen = [];
  while (Date.now() < deadline) {
    screen = await screenText();
    if (predicate(screen)) {
      return screen;
    }
    await new Promise((resolve) => setTimeout(resolve, 20));
  }
  assert.fail(`no ${what} within ${DEADLINE_MS} ms; the screen:\n${screen.join('\n')}`);
}

async function waitForState(wanted) {
  await page.waitForFunction((state) => window.dungeon.state().state === state, {}, wanted);
  return gameState();
}

// Types `key` and waits until the screen is no longer `before`.
async function press(key, before) {
  await page.keyboard.press(key);
  return waitForScreen((screen) => screen.join('\n') !== before.join('\n'), `change after "${key}"`);
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
  await page.click('#screen');
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

test('a fight in a third game: rounds on "k", flight on "f"', { timeout: 8 * DEADLINE_MS }, async () => {
  assert.equal((await gameState()).state, 'ended', 'needs the second game to have ended');
  // The second game's last picture stands until the third game draws its own.
  const ended = (await screenText()).join('\n');
  await page.click('#new-game');
  let screen = await waitForScreen(
    (rows) => rows.join('\n') !== ended && rows[19].includes('Quirn:') &&
              heroCells(rows).length === 1,
    'third game');
  const way = wayToAMonster(screen);
  assert.ok(way, 'a monster can be reached');
  for (const key of way.keys) {
    screen = await press(key, screen);
  }
  // The map is drawn again only when the fight is over: until then the hero shows on the
  // cell it came from.
  const fightOver = (rows) => heroCells(rows).length === 1 &&
                              heroCells(rows)[0].join() === way.monster.join();
  screen = await waitForScreen(
    (rows) => messages(rows).includes(QUESTION) || fightOver(rows), 'fight');
  let pane = messages(screen);
  assert.deepEqual([pane[0], pane[1], pane[3], pane[7]],
                   ['Monster greift an!', 'Quirn', 'trifft auf', 'Kampfergebnis']);
  // Fight on for up to two more rounds while the question comes, then flee.
  for (let round = 2; round <= 3 && !fightOver(screen); round++) {
    assert.deepEqual(heroCells(screen), [way.from]);
    assert.equal(at(screen, ...way.monster), 'M');
    // Other keys, upper case included, are no answer.
    await page.keyboard.press('x');
    await page.keyboard.press('K');
    await page.keyboard.press('k');
    screen = await waitForScreen((rows) => rows.join('\n') !== screen.join('\n'), 'next round');
    pane = messages(screen);
    assert.equal(pane[0], 'Monster greift an!');
  }
  if (!fightOver(screen)) {
    assert.ok(pane.includes(QUESTION));
    await page.keyboard.press('f');
    screen = await waitForScreen(fightOver, 'the end of the fight');
  }
  // Fled, or one of the two is dead: the game goes on, or ends with the hero's death.
  if ((await gameState()).state === 'running') {
    assert.ok(screen[19].slice(41).startsWith('Quirn:'), screen[19]);
    await page.keyboard.press('s');
  } else {
    pane = messages(screen);
    assert.ok(pane.some((line) => line.startsWith('Quirn tot!')), pane.join('\n'));
  }
  assert.deepEqual(await waitForState('ended'), { state: 'ended', exitStatus: 0 });
  assert.deepEqual(pageErrors, []);
});

test('budgets: load to first drawing, key to screen, download size', async (t) => {
  const timings = await page.evaluate(() => ({
    firstDraw: performance.getEntriesByName('dungeon-first-draw').map((e) => e.startTime),
    keys: performance.getEntriesByName('dungeon-key-to-screen').map((e) => e.duration),
  }));
  assert.equal(timings.firstDraw.length, 1);
  assert.ok(timings.keys.length >= 8, `${timings.keys.length} keys measured`);
  const keys = [...timings.keys].sort((a, b) => a - b);
  const median = keys[Math.floor(keys.length / 2)];
  let bytes = 0;
  let gzipped = 0;
  for (const name of ['dungeon.js', 'dungeon.wasm']) {
    const content = fs.readFileSync(path.join(SITE, name));
    bytes += content.length;
    gzipped += zlib.gzipSync(content, { level: 9 }).length;
  }
  const lines = [
    `page load to first drawing: ${timings.firstDraw[0].toFixed(0)} ms`,
    `key to redrawn screen: median ${median.toFixed(1)} ms, max ${keys.at(-1).toFixed(1)} ms ` +
      `over ${keys.length} keys`,
    `dungeon.js + dungeon.wasm: ${bytes} bytes, ${gzipped} bytes gzip`,
  ];
  for (const line of lines) {
    t.diagnostic(line);
  }
});
