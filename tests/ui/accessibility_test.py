#!/usr/bin/python3
"""What a screen reader finds in the window, read through AT-SPI: the role, name and
description of the window and of every shown control, against what the window program
says it must find (see accessibility_main.cpp). Run inside a D-Bus session with a display.

Usage: accessibility_test.py PROGRAM FILE
"""
import collections
import os
import subprocess
import sys
import time

import pyatspi


def tree(node):
    """Every (role, name, description) below node, node included."""
    found = [(node.getRoleName(), node.name, node.description)]
    for child in node:
        found += tree(child)
    return found


def main():
    program, example = sys.argv[1], sys.argv[2]
    env = dict(os.environ, QT_LINUX_ACCESSIBILITY_ALWAYS_ON="1", QT_ACCESSIBILITY="1")
    window = subprocess.Popen([program, example], stdout=subprocess.PIPE, env=env, text=True)
    try:
        expected = []
        for line in window.stdout:
            if line.rstrip("\n") == "-":
                break
            expected.append(tuple(line.rstrip("\n").split("\t")))
        want = collections.Counter(expected)
        # The window registers with the bus after it shows; the tree may fill in steps.
        name = os.path.basename(program)
        got = collections.Counter()
        for _ in range(100):
            apps = [a for a in pyatspi.Registry.getDesktop(0) if a is not None and a.name == name]
            if apps:
                got = collections.Counter(t for w in apps[0] for t in tree(w))
                if got == want:
                    break
            time.sleep(0.1)
        missing, extra = want - got, got - want
        for role, label, description in sorted(missing.elements()):
            print(f"missing: {role} {label!r} {description!r}")
        for role, label, description in sorted(extra.elements()):
            print(f"instead: {role} {label!r} {description!r}")
        print(f"{sum(want.values()) - sum(missing.values())} of {sum(want.values())} found as expected")
        return 1 if missing or extra else 0
    finally:
        window.kill()
        window.wait()


if __name__ == "__main__":
    sys.exit(main())
