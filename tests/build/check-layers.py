#!/usr/bin/env python3
"""Checks that the product's includes only point down the layers.

Each folder of product code has a layer; a file may include headers of its own
folder and of folders in lower layers only (system and standard headers are not
looked at). The layers, lowest first:

    framework, res        the dialog framework; the resource ids
    runlog, xml           the run's log and outcome; the XML reader
    transfer, skin, trust HTTP downloads; the skinned controls; what may run elevated
    config                manifest, descriptor, registry, texts, client check
    engine                the install run and its packages
    wizard                the three pages
    app                   start-up and exit

Usage: check-layers.py <source folder>   (exit code 1 and one line per upward include)
"""

import os
import re
import sys

LAYERS = {
    "framework": 0, "res": 0,
    "runlog": 1, "xml": 1,
    "transfer": 2, "skin": 2, "trust": 2,
    "config": 3,
    "engine": 4,
    "wizard": 5,
    "app": 6,
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
SOURCE_SUFFIXES = (".h", ".cpp", ".rc")


def upward_includes(root):
    for folder, rank in sorted(LAYERS.items()):
        for directory, _, files in os.walk(os.path.join(root, folder)):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(directory, name)
                with open(path, encoding="utf-8", errors="replace") as source:
                    for number, line in enumerate(source, 1):
                        match = INCLUDE.match(line)
                        if not match or "/" not in match.group(1):
                            continue
                        target = match.group(1).split("/")[0]
                        if target != folder and target in LAYERS and LAYERS[target] >= rank:
                            yield (f"{os.path.relpath(path, root)}:{number}: {folder} (layer {rank}) includes "
                                   f"{match.group(1)} (layer {LAYERS[target]})")


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..", "..")
    missing = [folder for folder in LAYERS if not os.path.isdir(os.path.join(root, folder))]
    if missing:
        print(f"check-layers: no folder {', '.join(missing)} under {root}")
        return 1
    found = list(upward_includes(root))
    for line in found:
        print(line)
    print(f"check-layers: {len(found)} upward include(s)" if found else "check-layers: every include points down")
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
