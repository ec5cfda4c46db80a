#!/usr/bin/env python3
"""The largest stack frames of the web build.

A WebAssembly function compiled by Emscripten reserves its frame on the shadow stack by
subtracting a constant from the stack pointer, the module's first global. This reads the
module as text (binaryen's wasm-dis) and lists the largest such constants, with the name
section's function names where the build kept them.

Usage: bench/wasm_stack_frames.py build/web/dungeon.wasm [count]
"""
import re
import subprocess
import sys


def main():
    module = sys.argv[1]
    count = int(sys.argv[2]) if len(sys.argv) > 2 else 5
    text = subprocess.run(["wasm-dis", module], check=True, capture_output=True,
                          text=True).stdout
    pointer = re.search(r"\(global (\$\S+) \(mut i32\)", text).group(1)
    reserve = re.compile(r"\(i32\.sub\s*\(global\.get " + re.escape(pointer) +
                         r"\)\s*\(i32\.const (\d+)\)")
    frames = []
    for body in re.split(r"\n \(func ", text)[1:]:
        name = body.split()[0]
        sizes = [int(size) for size in reserve.findall(body)]
        if sizes:
            frames.append((max(sizes), name))
    frames.sort(reverse=True)
    for size, name in frames[:count]:
        print(f"{size:8d} bytes  {name}")
    print(f"largest frame: {frames[0][0] if frames else 0} bytes")


if __name__ == "__main__":
    main()
