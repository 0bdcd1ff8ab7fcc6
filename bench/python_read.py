#!/usr/bin/env python3
"""Reads every entry of an archive through the Python module and prints the time of its fastest
pass, as bench/read_entries does through the C++ API (bench/python_compare.sh runs both).

Usage: python_read.py ARCHIVE whole|stream|picture [PASSES]
whole: archive.read(i); stream: archive.open(i).readinto into one 1 MiB buffer; picture:
archive.picture(i) for every picture entry.
"""
import sys
import time

import zok


def one_pass(archive, entries, mode):
    total = 0
    if mode == "whole":
        for entry in entries:
            total += len(archive.read(entry.index))
    elif mode == "stream":
        buffer = bytearray(1 << 20)
        for entry in entries:
            with archive.open(entry.index) as stream:
                while n := stream.readinto(buffer):
                    total += n
    else:
        for entry in entries:
            if entry.is_picture:
                total += archive.picture(entry.index).nbytes
    return total


def main():
    path, mode = sys.argv[1], sys.argv[2]
    passes = int(sys.argv[3]) if len(sys.argv) > 3 else 5
    with zok.open(path) as archive:
        entries = list(archive)
        seconds = []
        for _ in range(passes):
            start = time.perf_counter()
            total = one_pass(archive, entries, mode)
            seconds.append(time.perf_counter() - start)
    print(f"{min(seconds):.4f} {total}")


if __name__ == "__main__":
    main()
