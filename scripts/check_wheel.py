#!/usr/bin/env python3
"""Checks that a built wheel holds exactly the extension module, the stub
package, the toolkit package with its data files and the wheel's own
metadata, and that its stub and toolkit files are the checked-in ones.

    python scripts/check_wheel.py WHEEL_DIR
"""

import csv
import io
import re
import sys
import zipfile
from pathlib import Path

ROOT = Path(__file__).resolve().parent.parent
STUB = "quelmar-stubs/__init__.pyi"
MODULE = re.compile(r"quelmar(\.[A-Za-z0-9_-]+)?\.(so|pyd)")
METADATA = re.compile(r"quelmar-[^/]+\.dist-info/")
KIT = "quelmar_kit"


def kit_files():
    """The toolkit's files in the source tree, as the wheel names them."""
    return {p.relative_to(ROOT).as_posix(): p for p in (ROOT / KIT).rglob("*")
            if p.is_file() and "__pycache__" not in p.parts}


def problems(wheel):
    """Every way in which `wheel` holds something other than it should."""
    found = []
    with zipfile.ZipFile(wheel) as archive:
        names = [n for n in archive.namelist() if not n.endswith("/")]
        modules = [n for n in names if MODULE.fullmatch(n)]
        if len(modules) != 1:
            found.append(f"expected one extension module at the top level, found {modules}")
        if STUB not in names:
            found.append(f"{STUB} is missing")
        elif archive.read(STUB) != (ROOT / STUB).read_bytes():
            found.append(f"{STUB} differs from the checked-in stub")
        kit = kit_files()
        packed = {n for n in names if n.startswith(KIT + "/")}
        if packed != set(kit):
            found.append(f"{KIT} differs from the source tree: {sorted(packed ^ set(kit))}")
        for name in sorted(packed & set(kit)):
            if archive.read(name) != kit[name].read_bytes():
                found.append(f"{name} differs from the checked-in file")
        stray = [n for n in names if n not in modules and n != STUB and n not in packed
                 and not METADATA.match(n)]
        if stray:
            found.append(f"unexpected files: {stray}")
        info = sorted({n.split("/")[0] for n in names if METADATA.match(n)})
        if len(info) != 1:
            found.append(f"expected one .dist-info directory, found {info}")
        else:
            record = archive.read(f"{info[0]}/RECORD").decode()
            recorded = {row[0] for row in csv.reader(io.StringIO(record)) if row}
            if recorded != set(names):
                found.append(f"RECORD and the archive disagree: {sorted(recorded ^ set(names))}")
    return found


def main():
    wheels = sorted(Path(sys.argv[1]).glob("quelmar-*.whl"))
    if len(wheels) != 1:
        print(f"expected one quelmar wheel in {sys.argv[1]}, found {[w.name for w in wheels]}")
        return 1
    found = problems(wheels[0])
    for problem in found:
        print(f"{wheels[0].name}: {problem}")
    if not found:
        print(f"{wheels[0].name}: the module, {STUB}, {KIT} and metadata, nothing else")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
