#!/usr/bin/env python3
"""Prints which folder includes which, and the ratio of test lines to product lines.

Folders are layers: each may include only itself and the folders listed before it in LAYERS.
Exits 1 when a folder includes a later one or two folders include each other (directly or
round a loop), 0 otherwise. Unit tests (*_test.cpp, or *_<platform>_test.cpp for a test that
uses a toolkit or OS API) belong to the tests layer wherever they sit, since they may use the shared test helpers. Files are the ones git tracks.
"""
import re
import subprocess
import sys
from collections import defaultdict
from pathlib import Path

LAYERS = ["base", "platform", "metadata", "http", "cache", "services", "core", "ui", "host", "tests",
          "tools", "bench"]
SOURCE_SUFFIXES = (".cpp", ".h")
NOT_COUNTED = ("bench/", "scripts/")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def tracked_sources(top):
    out = subprocess.run(["git", "-C", str(top), "ls-files"], check=True, capture_output=True,
                         text=True).stdout
    return [f for f in out.splitlines() if f.endswith(SOURCE_SUFFIXES)]


TEST_FILE = re.compile(r"_test\.cpp$")


def is_test(path):
    return path.startswith("tests/") or TEST_FILE.search(path) is not None


def layer_of(path):
    return "tests" if is_test(path) else path.split("/", 1)[0]


def find_loop(graph):
    """One loop of the graph as a list of folders, or None."""
    state = {}
    stack = []

    def visit(node):
        state[node] = "open"
        stack.append(node)
        for nxt in sorted(graph[node]):
            if state.get(nxt) == "open":
                return stack[stack.index(nxt):] + [nxt]
            if nxt not in state:
                found = visit(nxt)
                if found:
                    return found
        stack.pop()
        state[node] = "done"
        return None

    for node in sorted(graph):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main():
    top = Path(__file__).resolve().parent.parent
    graph = defaultdict(set)
    examples = {}
    errors = []
    test_lines = product_lines = 0
    for path in tracked_sources(top):
        if "/" not in path:
            continue
        text = (top / path).read_text(encoding="utf-8", errors="replace")
        lines = text.count("\n")
        if is_test(path):
            test_lines += lines
        elif not path.startswith(NOT_COUNTED):
            product_lines += lines
        source = layer_of(path)
        if source not in LAYERS:
            if not path.startswith("scripts/"):
                errors.append(f"{path}: folder {source} is not in the list of layers")
            continue
        graph[source]
        for line in text.splitlines():
            match = INCLUDE.match(line)
            if not match or "/" not in match.group(1):
                continue
            target = match.group(1).split("/", 1)[0]
            if target == source or target not in LAYERS:
                continue
            graph[source].add(target)
            examples.setdefault((source, target), f"{path} includes {match.group(1)}")

    print("Folder graph (folder -> folders it includes):")
    for source in LAYERS:
        if source in graph:
            targets = sorted(graph[source], key=LAYERS.index)
            print(f"  {source:<9} -> {', '.join(targets) if targets else '(none)'}")
    for (source, target), example in sorted(examples.items()):
        if LAYERS.index(target) > LAYERS.index(source):
            errors.append(f"{source} includes {target}, which is listed after it: {example}")
    loop = find_loop(graph)
    if loop:
        errors.append("loop: " + " -> ".join(loop))

    ratio = test_lines / product_lines if product_lines else 0.0
    print(f"Test lines {test_lines} / product lines {product_lines} = {ratio:.2f} "
          "(bench and scripts not counted)")
    for error in errors:
        print("ERROR: " + error)
    return 1 if errors else 0


if __name__ == "__main__":
    sys.exit(main())
