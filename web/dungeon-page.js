// The page around the game: an 80 x 25 terminal (xterm.js) that shows what the program
// draws and reports the keys typed into it, the program itself (dungeon.js and
// dungeon.wasm), and a new game once a game has ended. The program calls the `page`
// object below (see platform/browser/page_bridge.js); it waits for keys suspended, so the
// page stays responsive.
//
// For tests and scripts, window.dungeon offers screenText() (the rows as shown) and
// state() ({state: "running"} or {state: "ended", exitStatus}, or {state: "failed",
// error} when the program could not be loaded or broke down).
'use strict';

(function () {
  const COLUMNS = 80;
  const ROWS = 25;
  const FONT_SIZE = 22;
  // How long the page waits for its font before it makes do with another.
  const FONT_WAIT_MS = 3000;

  // The sixteen colours of the PC's VGA text mode.
  const VGA_THEME = {
    foreground: '#aaaaaa',
    background: '#000000',
    cursor: '#aaaaaa',
    black: '#000000',
    red: '#aa0000',
    green: '#00aa00',
    yellow: '#aa5500',
    blue: '#0000aa',
    magenta: '#aa00aa',
    cyan: '#00aaaa',
    white: '#aaaaaa',
    brightBlack: '#555555',
    brightRed: '#ff5555',
    brightGreen: '#55ff55',
    brightYellow: '#ffff55',
    brightBlue: '#5555ff',
    brightMagenta: '#ff55ff',
    brightCyan: '#55ffff',
    brightWhite: '#ffffff',
  };

  const screen = document.getElementById('screen');
  const ended = document.getElementById('ended');
  const ending = document.getElementById('ending');
  const newGameButton = document.getElementById('new-game');
  const help = document.getElementById('help');

  const term = new Terminal({
    cols: COLUMNS,
    rows: ROWS,
    scrollback: 0,
    fontFamily: 'VT323, "Lucida Console", Consolas, monospace',
    fontSize: FONT_SIZE,
    lineHeight: 1,
    theme: VGA_THEME,
    cursorBlink: true,
  });

  let state = { state: 'running' };

  // Timings for the page's budgets, as performance entries: the first drawing after the
  // page's start ("dungeon-first-draw"), and each key until the screen shows its outcome
  // ("dungeon-key-to-screen").
  let firstDrawMarked = false;
  // When the key that the program is about to answer was pressed, and whether its answer
  // changed the screen (an ignored key changes nothing and is not counted).
  let keyAt = null;
  let drawnSinceKey = false;
  let lastKeyDownAt = null;
  screen.addEventListener('keydown', (event) => {
    lastKeyDownAt = event.timeStamp;
  }, true);

  // Typed input, as UTF-8 bytes, until the program takes it.
  const encoder = new TextEncoder();
  let input = [];
  let inputLength = 0;
  // The program's wake-up while it waits for input: {wakeUp, timer}.
  let waiting = null;

  term.onData((data) => {
    if (state.state === 'running') {
      keyAt = lastKeyDownAt ?? performance.now();
      drawnSinceKey = false;
    }
    const bytes = encoder.encode(data);
    input.push(bytes);
    inputLength += bytes.length;
    wake(1);
  });

  function wake(value) {
    if (waiting === null) {
      return;
    }
    const { wakeUp, timer } = waiting;
    waiting = null;
    if (timer !== null) {
      clearTimeout(timer);
    }
    wakeUp(value);
  }

  function takeInput(capacity) {
    const taken = new Uint8Array(Math.min(capacity, inputLength));
    let length = 0;
    while (length < taken.length) {
      const chunk = input[0];
      const count = Math.min(chunk.length, taken.length - length);
      taken.set(chunk.subarray(0, count), length);
      length += count;
      if (count === chunk.length) {
        input.shift();
      } else {
        input[0] = chunk.subarray(count);
      }
    }
    inputLength -= length;
    return taken;
  }

  // Runs `then` once the terminal has taken in everything written so far and painted it:
  // xterm.js renders in the animation frame that its parser requested, before ours.
  function afterShown(then) {
    term.write('', () => requestAnimationFrame(() => then()));
  }

  // The program has drawn what it had to draw and waits: its picture is complete.
  function onIdle() {
    if (!firstDrawMarked) {
      firstDrawMarked = true;
      afterShown(() => performance.mark('dungeon-first-draw'));
    }
    if (keyAt !== null && drawnSinceKey) {
      const start = keyAt;
      afterShown(() => performance.measure('dungeon-key-to-screen', { start, end: performance.now() }));
    }
    keyAt = null;
  }

  const page = {
    write(bytes) {
      term.write(bytes);
      drawnSinceKey = true;
    },
    read(capacity) {
      return takeInput(capacity);
    },
    wait(timeoutMs, wakeUp) {
      onIdle();
      waiting = {
        wakeUp,
        timer: timeoutMs >= 0 ? setTimeout(() => wake(0), timeoutMs) : null,
      };
      if (inputLength > 0) {
        wake(1);
      }
    },
    gameOver(exitStatus, wakeUp) {
      onIdle();
      state = { state: 'ended', exitStatus };
      ending.textContent = exitStatus === 0
        ? 'Das Spiel ist zu Ende.'
        : `Das Spiel ist zu Ende (Status ${exitStatus}).`;
      ended.hidden = false;
      newGameButton.focus();
      newGameButton.onclick = () => {
        newGameButton.onclick = null;
        ended.hidden = true;
        // Keys typed while no game ran belong to no game.
        input = [];
        inputLength = 0;
        state = { state: 'running' };
        term.focus();
        wakeUp(1);
      };
    },
  };

  window.dungeon = {
    screenText() {
      const buffer = term.buffer.active;
      const rows = [];
      for (let row = 0; row < term.rows; row++) {
        const line = buffer.getLine(buffer.viewportY + row);
        rows.push(line ? line.translateToString(false) : '');
      }
      return rows;
    },
    state() {
      return { ...state };
    },
  };

  // The terminal measures its font's cells when it opens, so the font comes first.
  const fontLoaded = document.fonts.load(`${FONT_SIZE}px VT323`).catch(() => {});
  const fontWait = new Promise((resolve) => setTimeout(resolve, FONT_WAIT_MS));
  Promise.race([fontLoaded, fontWait])
    .then(() => {
      term.open(screen);
      term.focus();
      return createDungeon({ page, onAbort: fail });
    })
    .catch(fail);

  function fail(error) {
    state = { state: 'failed', error: String(error) };
    help.textContent = `Das Spiel konnte nicht geladen werden oder ist abgebrochen: ${error}`;
  }
})();
