"""An engine that speaks the protocol well enough to start a game, then
fails at its first genmove in the way its one argument names:

- hang: never answers (and ignores SIGTERM and the end of its input)
- exit: exits with code 3
- garbage: writes a line that is no answer
- illegal: answers a point off the board
- silent: never answers anything, not even `name`
- noise: writes bytes without end and never an empty line
- refuse: passes at genmove, but refuses every move it is told
- babble: passes at genmove, and answers quelmar-analysis with NaN, or
  with 100 kB; its name is a megabyte long

Only the standard library, so that it starts fast.
"""

import signal
import sys
import time

mode = sys.argv[1]
out = sys.stdout


def answer(ident, text=""):
    out.write(f"={ident} {text}".rstrip() + "\n\n")
    out.flush()


if mode in ("hang", "silent"):
    signal.signal(signal.SIGTERM, signal.SIG_IGN)
if mode == "silent":
    while True:
        time.sleep(60)

for line in sys.stdin:
    words = line.split()
    if not words:
        continue
    ident, name = (words[0], words[1]) if words[0].isdigit() else ("", words[0])
    if name == "name":
        answer(ident, f"fake-{mode}" + ("!" * 2**20 if mode == "babble" else ""))
    elif name == "list_commands":
        answer(ident, "\n".join(["name", "list_commands", "boardsize", "komi", "play",
                                 "genmove", "time_settings", "time_left", "quit",
                                 "quelmar-analysis"]))
    elif name == "quelmar-analysis":
        turns = getattr(sys, "turns", 0) + 1
        sys.turns = turns
        answer(ident, '{"value": NaN}' if turns % 2 else '{"pv": "%s"}' % ("x" * 100000))
    elif name == "quit":
        answer(ident)
        break
    elif mode == "refuse" and name == "play" and words[-1] != "pass":
        out.write(f"?{ident} I do not like that move\n\n")
        out.flush()
    elif mode in ("refuse", "babble") and name == "genmove":
        answer(ident, "pass")
    elif name != "genmove":
        answer(ident)
    elif mode == "hang":
        while True:
            time.sleep(60)
    elif mode == "exit":
        sys.exit(3)
    elif mode == "garbage":
        out.write("I am not an engine\n\n")
        out.flush()
    elif mode == "illegal":
        answer(ident, "-3.5 100")
    elif mode == "noise":
        while True:
            out.write("x" * 65536)
            out.flush()
