#!/usr/bin/env python3
"""What the Windows console platform costs under Wine: dungeon.exe in a tmux pane of a
private tmux server, measured from the outside.

  - idle: CPU time (all threads of the dungeon.exe process, from /proc/<pid>/task/*/schedstat;
    the Wine server and the console host are not counted), wake-ups (context switches) and,
    if strace is installed, system calls, over 5 s of waiting for a key;
  - settle: the time from a key sent to the pane until the last byte of the picture it
    causes reaches the terminal (tmux pipe-pane, quiet for 0.7 s counts as settled);
  - calls (--trace): console calls per turn, from WINEDEBUG=trace+console: the calls the
    program makes (lines of its own thread) and the requests that reach the console host.

Usage: bench/wine_console_bench.py path/to/dungeon.exe [--prefix DIR] [--turns N] [--trace]
The Wine prefix defaults to wineprefix/ beside the executable's build folder; it is created
if missing. Numbers only, never pass/fail.
"""

import argparse
import os
import re
import shutil
import statistics
import subprocess
import tempfile
import threading
import time

QUIET_S = 0.7


class Pane:
    def __init__(self, exe, prefix, trace):
        self.dir = tempfile.mkdtemp(prefix="dungeon-winebench-")
        self.socket = "dungeon-winebench-%d" % os.getpid()
        self.prefix = prefix
        debug = "trace+console" if trace else "-all"
        script = os.path.join(self.dir, "run.sh")
        with open(script, "w") as f:
            f.write(
                "cd '%s' || exit 1\n"
                "export WINEPREFIX='%s' WINEDEBUG=%s WINEDLLOVERRIDES='mscoree,mshtml='\n"
                "while [ ! -e go ]; do sleep 0.05; done\n"
                # A background job's standard input would be /dev/null: the console host
                # reads the keys from it.
                "wine '%s' 2> trace.log < /dev/tty &\n"
                "echo $! > pid\n"
                "wait $!\n"
                "echo $? > status\n"
                "exec sleep 600\n" % (self.dir, prefix, debug, exe))
        self.fifo = os.path.join(self.dir, "out")
        os.mkfifo(self.fifo)
        self.chunks = []  # (time, bytes)
        self.lock = threading.Lock()
        self.tmux("-f", "/dev/null", "new-session", "-d", "-x", "80", "-y", "25", "-s", "g",
                  "sh " + script)
        self.tmux("pipe-pane", "-O", "-t", "g", "cat > " + self.fifo)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        open(os.path.join(self.dir, "go"), "w").close()

    def _read(self):
        with open(self.fifo, "rb", buffering=0) as f:
            while True:
                data = f.read(65536)
                if not data:
                    return
                with self.lock:
                    self.chunks.append((time.monotonic(), data))

    def tmux(self, *args):
        env = dict(os.environ)
        env.pop("TMUX", None)
        return subprocess.run(["tmux", "-L", self.socket] + list(args), env=env,
                              capture_output=True, text=True).stdout

    def screen(self):
        return self.tmux("capture-pane", "-p", "-t", "g")

    def wait_for(self, text, timeout=60):
        end = time.monotonic() + timeout
        while time.monotonic() < end:
            if text in self.screen():
                return True
            time.sleep(0.05)
        return False

    def last_output(self):
        with self.lock:
            return self.chunks[-1][0] if self.chunks else 0.0

    def wait_quiet(self, since, timeout=10):
        """Time of the last byte after `since`, once nothing came for QUIET_S."""
        end = since + timeout
        while time.monotonic() < end:
            last = self.last_output()
            if last > since and time.monotonic() - last >= QUIET_S:
                return last
            time.sleep(0.01)
        return None

    def pid(self):
        path = os.path.join(self.dir, "pid")
        for _ in range(200):
            if os.path.exists(path):
                text = open(path).read().strip()
                if text:
                    return int(text)
            time.sleep(0.05)
        return 0

    def trace_lines(self):
        try:
            with open(os.path.join(self.dir, "trace.log"), errors="replace") as f:
                return f.read().splitlines()
        except OSError:
            return []

    def close(self):
        pid = self.pid()
        if pid > 0:
            try:
                os.kill(pid, 15)
            except ProcessLookupError:
                pass
        self.tmux("kill-server")
        subprocess.run(["wineserver", "-k"], env=dict(os.environ, WINEPREFIX=self.prefix),
                       capture_output=True)
        shutil.rmtree(self.dir, ignore_errors=True)


def cpu_and_switches(pid):
    cpu_ns = 0
    switches = 0
    task_dir = "/proc/%d/task" % pid
    for task in os.listdir(task_dir):
        try:
            cpu_ns += int(open("%s/%s/schedstat" % (task_dir, task)).read().split()[0])
            for line in open("%s/%s/status" % (task_dir, task)):
                if line.startswith(("voluntary_ctxt_switches", "nonvoluntary_ctxt_switches")):
                    switches += int(line.split()[1])
        except (OSError, IndexError, ValueError):
            pass
    return cpu_ns, switches


def syscalls(pid, seconds):
    if shutil.which("strace") is None:
        return None
    result = subprocess.run(["timeout", "-s", "INT", str(seconds), "strace", "-c", "-f", "-p",
                             str(pid)], capture_output=True, text=True)
    for line in result.stderr.splitlines():
        fields = line.split()
        if fields and fields[-1] == "total" and len(fields) >= 5:
            return int(fields[3])
    # strace prints no table at all when nothing was called.
    return 0 if "attached" in result.stderr else None


CLIENT_CALL = re.compile(r"^([0-9a-f]+):trace:console:([A-Z][A-Za-z]+)")
HOST_REQUEST = re.compile(r"^[0-9a-f]+:trace:console:(console_input_ioctl|write_output|"
                          r"scroll_output|set_output_info|get_output_info|read_output|"
                          r"screen_buffer_ioctl)")


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("exe")
    parser.add_argument("--prefix")
    parser.add_argument("--turns", type=int, default=20)
    parser.add_argument("--trace", action="store_true")
    args = parser.parse_args()
    exe = os.path.abspath(args.exe)
    prefix = os.path.abspath(args.prefix or os.path.join(os.path.dirname(exe), "..",
                                                         "wineprefix"))
    env = dict(os.environ, WINEPREFIX=prefix, WINEDEBUG="-all",
               WINEDLLOVERRIDES="mscoree,mshtml=")
    if not os.path.exists(os.path.join(prefix, "system.reg")):
        subprocess.run(["wineboot", "-i"], env=env, capture_output=True)
        subprocess.run(["wineserver", "-w"], env=env)

    pane = Pane(exe, prefix, args.trace)
    try:
        if not pane.wait_for("Quirn:"):
            print("the game did not draw its first screen:\n" + pane.screen())
            return
        pid = pane.pid()
        print("dungeon.exe process %d (%s)" % (pid, open("/proc/%d/comm" % pid).read().strip()))

        # A first key, so that its release stays behind in the queue as after any turn.
        pane.tmux("send-keys", "-t", "g", "2")
        pane.wait_quiet(time.monotonic() - 0.01)
        if not args.trace:
            cpu0, sw0 = cpu_and_switches(pid)
            t0 = time.monotonic()
            time.sleep(5)
            cpu1, sw1 = cpu_and_switches(pid)
            t1 = time.monotonic()
            print("idle: %.1f ms CPU in %.1f s, %.0f wake-ups/s" %
                  ((cpu1 - cpu0) / 1e6, t1 - t0, (sw1 - sw0) / (t1 - t0)))
            calls = syscalls(pid, 5)
            if calls is not None:
                print("idle: %.0f system calls/s (strace -c -f, 5 s)" % (calls / 5))

        settle = []
        client_calls = []
        host_requests = []
        keys = "2828646488"
        for turn in range(args.turns):
            if "(K)aempfen?" in pane.screen():
                pane.tmux("send-keys", "-t", "g", "f")
                pane.wait_quiet(time.monotonic() - 0.01)
            before = len(pane.trace_lines())
            sent = time.monotonic()
            pane.tmux("send-keys", "-t", "g", keys[turn % len(keys)])
            done = pane.wait_quiet(sent)
            if done is None:
                continue  # no picture: the key was ignored
            settle.append((done - sent) * 1000)
            if args.trace:
                lines = pane.trace_lines()[before:]
                threads = {}
                for line in lines:
                    m = CLIENT_CALL.match(line)
                    if m and m.group(2) != "SetConsoleCtrlHandler":
                        threads[m.group(1)] = threads.get(m.group(1), 0) + 1
                client_calls.append(max(threads.values()) if threads else 0)
                host_requests.append(sum(1 for line in lines if HOST_REQUEST.match(line)))
        if settle:
            print("settle (%d turns%s): median %.0f ms, min %.0f ms, max %.0f ms" %
                  (len(settle), ", traced" if args.trace else "", statistics.median(settle),
                   min(settle), max(settle)))
        if client_calls:
            print("console calls per turn (traced by the program's thread): median %d, "
                  "min %d, max %d" % (statistics.median(client_calls), min(client_calls),
                                      max(client_calls)))
            print("requests reaching the console host per turn: median %d, min %d, max %d" %
                  (statistics.median(host_requests), min(host_requests), max(host_requests)))
        pane.tmux("send-keys", "-t", "g", "s")
    finally:
        pane.close()


if __name__ == "__main__":
    main()
