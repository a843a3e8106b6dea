#!/usr/bin/env python3
"""Speed of Python's email.header on the decoder benchmark's header lines, for comparison.

Usage: build/native/bench/decode_bench --write-lines /tmp/lines.txt
       bench/decode_email_header.py /tmp/lines.txt
"""
import sys
import time
from email.header import decode_header, make_header


def main():
    # One header line per line of the file; a line that starts with a space continues a
    # folded header line.
    lines = []
    with open(sys.argv[1], "rb") as file:
        for raw in file.read().decode("latin-1").split("\n"):
            if raw.startswith(" ") and lines:
                lines[-1] += "\n" + raw
            elif raw:
                lines.append(raw)
    size = sum(len(line) for line in lines)
    best = None
    for _ in range(5):
        start = time.perf_counter()
        for line in lines:
            str(make_header(decode_header(line)))
        elapsed = time.perf_counter() - start
        best = elapsed if best is None else min(best, elapsed)
    print(f"  email.header decode_header + make_header  {size:9d} bytes {size / best / 1e6:10.1f} MB/s")


if __name__ == "__main__":
    main()
