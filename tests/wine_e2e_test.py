#!/usr/bin/env python3
"""dungeon.exe under Wine in a real terminal: a tmux pane of a private tmux server, read as
the terminal shows it. Checks the first drawing, a move, a wall bump, a fight's message pane
Ctrl+C typed during a turn and during a fight, and quitting with "s". Ctrl+C reaches Wine as
the terminal's SIGINT, which Wine turns into the console's control event. With the
terminal's signal keys off (stty -isig) Wine 8's console host stops reading the terminal at
that byte, and no program can take keys after it: that case is left out.

Usage: wine_e2e_test.py WINE_RUN DUNGEON_EXE
WINE_RUN is the build's Wine wrapper: asked with --prefix-only it makes the Wine prefix.
"""

import collections
import os
import shutil
import subprocess
import sys
import tempfile
import time

STATUS = "Quirn:  L:   5 A:  80 R: 50"
MOVES = {"8": (0, -1), "2": (0, 1), "4": (-1, 0), "6": (1, 0)}
failures = []


def check(condition, message, screen=None):
    if not condition:
        failures.append(message + ("\n" + "\n".join(screen) if screen else ""))
    return condition


class GamePane:
    def __init__(self, wine_run, exe):
        prefix = os.path.join(os.path.dirname(wine_run), "wineprefix")
        subprocess.run([wine_run, "--prefix-only"], check=True)
        self.prefix = prefix
        self.dir = tempfile.mkdtemp(prefix="dungeon-wine-e2e-")
        self.socket = "dungeon-wine-e2e-%d" % os.getpid()
        script = os.path.join(self.dir, "run.sh")
        with open(script, "w") as f:
            f.write(
                "cd '%s' || exit 1\n"
                "export WINEPREFIX='%s' WINEDEBUG=-all WINEDLLOVERRIDES='mscoree,mshtml='\n"
                "while [ ! -e go ]; do sleep 0.05; done\n"
                # In the foreground, so that Ctrl+C reaches Wine; the shell itself outlives
                # it to write the status.
                "trap 'echo interrupted' INT\n"
                "sh -c 'echo $$ > pid; exec wine \"$0\"' '%s'\n"
                "echo $? > status.tmp && mv status.tmp status\n"
                "exec sleep 600\n" % (self.dir, prefix, exe))
        self.tmux("-f", "/dev/null", "new-session", "-d", "-x", "80", "-y", "25", "-s", "game",
                  "sh " + script)
        open(os.path.join(self.dir, "go"), "w").close()

    def tmux(self, *args):
        env = dict(os.environ)
        env.pop("TMUX", None)
        return subprocess.run(["tmux", "-L", self.socket] + list(args), env=env,
                              capture_output=True, text=True, timeout=30).stdout

    def screen(self):
        rows = self.tmux("capture-pane", "-p", "-t", "game").split("\n")
        rows = (rows + [""] * 25)[:25]
        return [row.ljust(80) for row in rows]

    def wait_for(self, condition, timeout=30):
        """The screen once `condition` holds for it and it has stopped changing."""
        end = time.monotonic() + timeout
        last = None
        same = 0
        while time.monotonic() < end:
            screen = self.screen()
            same = same + 1 if screen == last else 0
            if condition(screen) and same >= 2:
                return screen
            last = screen
            time.sleep(0.1)
        return None

    def send(self, key):
        self.tmux("send-keys", "-t", "game", key)

    def status(self, timeout=30):
        path = os.path.join(self.dir, "status")
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if os.path.exists(path):
                return int(open(path).read().strip())
            time.sleep(0.05)
        return None

    def close(self):
        # Killing the pane does not end Wine's processes: the game by its id, then the
        # prefix's server with everything it still runs.
        try:
            pid = int(open(os.path.join(self.dir, "pid")).read().strip())
            os.kill(pid, 15)
        except (OSError, ValueError):
            pass
        self.tmux("kill-server")
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=self.prefix),
                       capture_output=True, timeout=60)
        shutil.rmtree(self.dir, ignore_errors=True)


def hero(screen):
    for y in range(20):
        x = screen[y].find("H", 0, 40)
        if x >= 0:
            return x, y
    return None


def path_to(screen, start, is_goal):
    """Keys that lead from `start` to the nearest cell that `is_goal` accepts, walking over
    floor only (unseen ".", seen " ", and "L"), the goal cell last."""
    queue = collections.deque([start])
    came = {start: None}
    while queue:
        x, y = queue.popleft()
        for key, (dx, dy) in MOVES.items():
            cell = (x + dx, y + dy)
            if cell in came or not (0 <= cell[0] < 40 and 0 <= cell[1] < 20):
                continue
            symbol = screen[cell[1]][cell[0]]
            if is_goal(symbol):
                keys = [key]
                at = (x, y)
                while came[at] is not None:
                    at, step = came[at]
                    keys.append(step)
                return list(reversed(keys))
            if symbol in ". L":
                came[cell] = ((x, y), key)
                queue.append(cell)
    return None


def walk(pane, keys):
    """Plays `keys`, each once the screen has settled after the one before."""
    screen = pane.screen()
    for key in keys:
        before = screen
        pane.send(key)
        screen = pane.wait_for(
            lambda s, b=before: s != b and hero(s) is not None and "Quirn:" in s[19][41:],
            timeout=20)
        if not check(screen is not None, "no new picture after key " + key, before):
            return None
    return screen


def main():
    wine_run, exe = sys.argv[1], sys.argv[2]
    if shutil.which("tmux") is None:
        print("tmux is not installed: the end-to-end test needs it for a terminal")
        return 1
    pane = GamePane(wine_run, exe)
    try:
        # The first drawing: the border, the hero at (3, 3), the status line at column 42
        # of row 20.
        first = pane.wait_for(lambda s: STATUS in s[19], timeout=120)
        if not check(first is not None, "no first drawing", pane.screen()):
            return report()
        check(first[0][:40] == "W" * 40 and first[19][:40] == "W" * 40, "border rows", first)
        check(all(row[0] == "W" and row[39] == "W" for row in first[:20]), "border columns",
              first)
        check(first[19][41:41 + len(STATUS)] == STATUS, "status line at column 42", first)
        check(first[1][1] == ">", "exit at (2, 2)", first)
        check(hero(first) == (2, 2), "hero at (3, 3)", first)

        # A move: onto a neighbouring floor cell. The start cell is seen from then on: a
        # blank, or the marker that lay under the hero (the dungeon is not seeded here).
        screen = first
        start = hero(screen)
        step = next((k for k, (dx, dy) in MOVES.items()
                     if screen[start[1] + dy][start[0] + dx] == "."), None)
        if check(step is not None, "no floor beside the hero", screen):
            screen = walk(pane, [step])
            if screen is None:
                return report()
            dx, dy = MOVES[step]
            check(hero(screen) == (start[0] + dx, start[1] + dy), "hero moved", screen)
            check(screen[start[1]][start[0]] in " M1234567", "left cell shows what lies there",
                  screen)

        # Ctrl+C during a turn changes nothing: no message, the next key still moves.
        pane.send("C-c")
        time.sleep(1)
        check(pane.screen() == screen, "Ctrl+C changed the picture", pane.screen())

        # A wall bump: the hero stays and "AU!!" stands in the message pane.
        keys = path_to(screen, hero(screen), lambda symbol: symbol == "W")
        if check(keys is not None, "no way to a wall", screen):
            screen = walk(pane, keys)
            if screen is None:
                return report()
            check(any(row[41:45] == "AU!!" for row in screen[:19]), "AU!! after a bump",
                  screen)

        # A fight: the message pane is cleared, so below the fight's lines it is blank,
        # down to and with row 20 (no status line left standing).
        keys = path_to(screen, hero(screen), lambda symbol: symbol == "M")
        if check(keys is not None, "no way to a monster", screen):
            pane_before = screen
            for key in keys[:-1]:
                pane_before = walk(pane, [key])
                if pane_before is None:
                    return report()
            pane.send(keys[-1])
            screen = pane.wait_for(lambda s: "Kampfergebnis" in "".join(s), timeout=30)
            if check(screen is not None, "no fight", pane.screen()):
                rows = [row[41:80] for row in screen[:20]]
                check(rows[0].startswith("Monster greift an!"), "fight starts at row 1",
                      screen)
                asking = any("(K)aempfen?" in row for row in rows)
                # The last line of the fight: the question, or the monster's death, after
                # which the map and its status line come back at once.
                last = max(i for i, row in enumerate(rows)
                           if "(K)aempfen?" in row or row.rstrip().endswith(" tot!"))
                below = rows[last + 1:] if asking else rows[last + 1:19]
                check(all(row.strip() == "" for row in below),
                      "message pane blank below the fight's lines", screen)
                if asking:
                    # Ctrl+C at the fight's question is no answer; "f" still is.
                    pane.send("C-c")
                    time.sleep(1)
                    check(pane.screen() == screen, "Ctrl+C answered the fight", pane.screen())
                    pane.send("f")
                    screen = pane.wait_for(lambda s: STATUS[:6] in s[19], timeout=30)
                    check(screen is not None, "no map after fleeing", pane.screen())

        # "s" ends the game at once with status 0.
        pane.send("s")
        check(pane.status() == 0, "exit status 0 after s", pane.screen())
    finally:
        pane.close()
    return report()


def report():
    for failure in failures:
        print("FAILED: " + failure)
    if not failures:
        print("dungeon.exe under Wine: first drawing, move, wall bump, fight pane and quit")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
