"""A large entry streamed in bounded memory, and threads reading one archive at once."""

import hashlib
import os
import subprocess
import sys
import threading
import time

import zok

STREAM = """
import hashlib, resource, sys, zok
archive = zok.open(sys.argv[1])
buffer = bytearray(1 << 20)
digest = hashlib.sha256()
before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
with archive.open("big.bin") as stream:
    while n := stream.readinto(buffer):
        digest.update(memoryview(buffer)[:n])
after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
print(digest.hexdigest(), (after - before) * 1024)
"""


def test_large_entry_streams_in_bounded_memory(big_archive):
    path, digest, size = big_archive
    out = subprocess.run([sys.executable, "-c", STREAM, str(path)], check=True,
                         capture_output=True, text=True, env=dict(os.environ)).stdout.split()
    assert out[0] == digest
    assert int(out[1]) < size // 8, f"streaming {size} bytes took {out[1]} bytes more memory"


def test_two_threads_read_at_once(big_archive, tmp_path, mixed_files):
    path, digest, _ = big_archive
    folder, contents = mixed_files
    zok.create(tmp_path / "small.zok", [folder / name for name in contents])
    results = {}
    window = {}

    def read_big():
        with zok.open(path) as archive:
            window["start"] = time.monotonic()
            data = archive.read("big.bin")
            window["end"] = time.monotonic()
        results["big"] = hashlib.sha256(data).hexdigest()

    def read_small():
        with zok.open(tmp_path / "small.zok") as archive:
            for _ in range(20):
                results["small"] = [archive.read(e.index) for e in archive if not e.is_picture]

    threads = [threading.Thread(target=read_big), threading.Thread(target=read_small)]
    ticks = []
    for thread in threads:
        thread.start()
    while threads[0].is_alive():
        ticks.append(time.monotonic())  # runs only while the reader has let go of the GIL
    for thread in threads:
        thread.join()
    assert results["big"] == digest
    assert results["small"] == [data for name, data in contents.items()
                                if not name.endswith(("png", "bmp"))]
    # Held through the read, the GIL would let the main thread run only at the window's edges
    # (between bytecodes, for a switch interval of 5 ms); released, the main thread runs all
    # through it, and so at least once in its middle half.
    start, length = window["start"], window["end"] - window["start"]
    middle = [t for t in ticks if start + length / 4 < t < start + length * 3 / 4]
    assert middle, f"the GIL was held while an entry was read ({length:.3f} s)"
