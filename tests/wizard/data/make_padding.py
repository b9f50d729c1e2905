#!/usr/bin/env python3
"""Writes the test package's media file: fixed pseudo-random bytes that do not compress."""
import random
import sys

random.seed(8)
with open(sys.argv[1], "wb") as out:
    out.write(random.randbytes(int(sys.argv[2])))
