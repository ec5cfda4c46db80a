// The page around the game: an 80 x 25 terminal (xterm.js) that shows what the program
// draws and reports the keys typed into it, sized to the window; on touch screens a pad
// with the game's keys; the program itself (dungeon.js and dungeon.wasm); a new game once
// a game has ended; and a service worker that keeps the site for offline play. The program
// calls the `page` object below (see platform/browser/page_bridge.js); it waits for keys
// suspended, so the page stays responsive.
//
// For tests and scripts, window.dungeon offers screenText() (the rows as shown), state()
// ({state: "running"} or {state: "ended", exitStatus}, or {state: "failed", error} when
// the program could not be loaded or broke down) and fontSize() (the terminal's, in CSS
// pixels).
'use strict';

(function () {
  const COLUMNS = 80;
  const ROWS = 25;
  const FONT_FAMILY = 'VT323, "Lucida Console", Consolas, monospace';
  // The font size when the window's cannot be measured.
  const FONT_SIZE = 22;
  const MIN_FONT_SIZE = 6;
  const MAX_FONT_SIZE = 72;
  // How long after the parsing of a frame its drawing may come; none later means the frame
  // changed nothing on the screen.
  const RENDER_WAIT_MS = 100;
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
  const stage = document.getElementById('stage');
  const pad = document.getElementById('pad');
  const coarsePointer = window.matchMedia('(pointer: coarse)');

  const term = new Terminal({
    cols: COLUMNS,
    rows: ROWS,
    scrollback: 0,
    fontFamily: FONT_FAMILY,
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

  // A key of the pad types its character into the terminal, as the keyboard would: at once
  // when a finger (or the mouse) comes down on it, since a tap's click comes a good frame
  // later, and on the click of a button pressed by the keyboard.
  function typeFromPad(event) {
    const button = event.target instanceof Element ? event.target.closest('button[data-key]') : null;
    if (button === null) {
      return;
    }
    lastKeyDownAt = event.timeStamp;
    term.input(button.dataset.key, true);
    giveKeysToGame();
  }
  pad.addEventListener('pointerdown', (event) => {
    if (event.button === 0) {
      // Keeps the focus off the button and the click of this press away.
      event.preventDefault();
      typeFromPad(event);
    }
  });
  pad.addEventListener('click', (event) => {
    if (event.detail === 0) {
      typeFromPad(event);
    }
  });

  // Wherever the player clicks or taps, the keys go back to the game: to the terminal while
  // a game runs, to the new game's button once it has ended. Other buttons keep the focus
  // they take.
  document.addEventListener('click', (event) => {
    if (event.target instanceof Element && event.target.closest('button, a, input, select') !== null) {
      return;
    }
    giveKeysToGame();
  });

  function giveKeysToGame() {
    if (state.state === 'ended') {
      newGameButton.focus();
    } else {
      term.focus();
    }
  }

  // On a touch screen the pad has every key: the terminal keeps the focus, for a keyboard
  // that may be attached, but must not call up the phone's own keyboard.
  function keepOnScreenKeyboardAway() {
    if (term.textarea) {
      term.textarea.inputMode = coarsePointer.matches ? 'none' : '';
    }
  }
  coarsePointer.addEventListener('change', keepOnScreenKeyboardAway);

  // The font size for the terminal to open with, from the font's proportions (a cell one
  // character wide and one font size high), so that it is not laid out twice.
  function fontSizeToFit() {
    const context = document.createElement('canvas').getContext('2d');
    context.font = `100px ${FONT_FAMILY}`;
    const cellWidth = context.measureText('W').width / 100;
    const room = stage.getBoundingClientRect();
    // The screen's frame: it is empty still.
    const width = room.width - screen.offsetWidth;
    const height = room.height - screen.offsetHeight;
    const size = Math.floor(Math.min(width / (COLUMNS * cellWidth), height / ROWS) * 4) / 4;
    return Number.isFinite(size) ? Math.min(MAX_FONT_SIZE, Math.max(MIN_FONT_SIZE, size)) : FONT_SIZE;
  }

  // The largest font, in quarter pixels, at which all 80 x 25 cells fit into the room the
  // page's layout leaves the screen.
  function fitToStage() {
    const cells = term.element?.querySelector('.xterm-screen');
    if (!cells) {
      return;
    }
    const room = stage.getBoundingClientRect();
    const frame = screen.getBoundingClientRect();
    let drawn = cells.getBoundingClientRect();
    const width = room.width - (frame.width - drawn.width);
    const height = room.height - (frame.height - drawn.height);
    if (width <= 0 || height <= 0 || drawn.width <= 0 || drawn.height <= 0) {
      return;
    }
    let size = term.options.fontSize;
    const wanted = size * Math.min(width / drawn.width, height / drawn.height);
    const fitting = Math.floor(wanted * 4) / 4;
    size = Math.min(MAX_FONT_SIZE, Math.max(MIN_FONT_SIZE, fitting));
    if (size !== term.options.fontSize) {
      term.options.fontSize = size;
    }
    // Cells are whole device pixels, so a size may come out a hair too large.
    drawn = cells.getBoundingClientRect();
    while (size > MIN_FONT_SIZE && (drawn.width > width || drawn.height > height)) {
      size -= 0.25;
      term.options.fontSize = size;
      drawn = cells.getBoundingClientRect();
    }
  }

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
    lastKeyDownAt = null;
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

  // The program's frames that the terminal has not parsed yet, and what waits for all of
  // them to be parsed.
  let unparsedFrames = 0;
  let whenAllParsed = [];

  function frameParsed() {
    unparsedFrames -= 1;
    if (unparsedFrames === 0) {
      const waiting = whenAllParsed;
      whenAllParsed = [];
      waiting.forEach((then) => then());
    }
  }

  // Calls `then` with the time at which the terminal has drawn every frame written so far:
  // the rows a frame changed are drawn at the first render after its parsing. (An empty
  // write's callback would come a timer task later, often after that render.) No render
  // to follow means nothing changed.
  function whenDrawn(then) {
    const awaitRender = () => {
      const rendered = term.onRender(() => {
        rendered.dispose();
        clearTimeout(timer);
        then(performance.now());
      });
      const timer = setTimeout(() => rendered.dispose(), RENDER_WAIT_MS);
    };
    if (unparsedFrames === 0) {
      awaitRender();
    } else {
      whenAllParsed.push(awaitRender);
    }
  }

  // The program has drawn what it had to draw and waits: its picture is complete.
  function onIdle() {
    if (!firstDrawMarked) {
      firstDrawMarked = true;
      whenDrawn((at) => {
        performance.mark('dungeon-first-draw', { startTime: at });
        keepForOffline();
      });
    }
    if (keyAt !== null && drawnSinceKey) {
      const start = keyAt;
      whenDrawn((end) => performance.measure('dungeon-key-to-screen', { start, end }));
    }
    keyAt = null;
  }

  // Once the game is on the screen, and not before: the service worker fetches the whole
  // site once more into its cache. Browsers allow it only on HTTPS and on the loopback.
  function keepForOffline() {
    if (!('serviceWorker' in navigator) || !window.isSecureContext) {
      return;
    }
    navigator.serviceWorker.register('service-worker.js').catch((error) => {
      console.warn(`No offline play: ${error}`);
    });
  }

  const page = {
    write(bytes) {
      unparsedFrames += 1;
      term.write(bytes, frameParsed);
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
    fontSize() {
      return term.options.fontSize;
    },
  };

  // The terminal measures its font's cells when it opens, so it opens once the font is
  // there.
  const fontLoaded = document.fonts.load(`${FONT_SIZE}px VT323`).catch(() => {});
  const fontWait = new Promise((resolve) => setTimeout(resolve, FONT_WAIT_MS));
  // The program loads meanwhile: the terminal keeps what it draws until it opens.
  createDungeon({ page, onAbort: fail }).catch(fail);
  Promise.race([fontLoaded, fontWait])
    .then(() => {
      term.options.fontSize = fontSizeToFit();
      term.open(screen);
      keepOnScreenKeyboardAway();
      fitToStage();
      new ResizeObserver(() => fitToStage()).observe(stage);
      term.focus();
    })
    .catch(fail);

  function fail(error) {
    state = { state: 'failed', error: String(error) };
    help.textContent = `Das Spiel konnte nicht geladen werden oder ist abgebrochen: ${error}`;
  }
})();
