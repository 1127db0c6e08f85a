"""The Python module's cost around the engine, in one run.

A flat 3840x2160 frame (the engine has almost nothing to do) through
corvalin.render at uint8, uint16 and float32, each beside a plain copy of the
same array (numpy's own, pixels.copy()); then a typical 4K cel frame on 1 and
2 threads. Prints median times and ratios.

Usage: PYTHONPATH=<build>/python python3 bench/python_adapter_bench.py [ROUNDS]
"""
import statistics
import sys
import time

import numpy as np

import corvalin

ROUNDS = int(sys.argv[1]) if len(sys.argv) > 1 else 9
H, W = 2160, 3840


def median_ms(call):
    call()  # warms up
    times = []
    for _ in range(ROUNDS):
        start = time.perf_counter()
        call()
        times.append(time.perf_counter() - start)
    return statistics.median(times) * 1000


def flat(dtype):
    colour = np.array([120, 170, 210, 255], dtype=np.float64) / 255
    if dtype == np.uint8:
        values = np.round(colour * 255)
    elif dtype == np.uint16:
        values = np.round(colour * 65535)
    else:
        values = colour
    return np.broadcast_to(values.astype(dtype), (H, W, 4)).copy()


def cel():
    """Sky, a sloped ground, discs in a grid, and a dark outline."""
    y, x = np.mgrid[0:H, 0:W]
    picture = np.empty((H, W, 4), np.uint8)
    picture[...] = (150, 205, 235, 255)
    picture[y * 9 > x + 6 * H] = (95, 175, 90, 255)
    cell, radius = H // 4, H // 11
    cy, cx = (y % cell) - cell // 2, (x % cell) - cell // 2
    picture[cy * cy + cx * cx < radius * radius] = (250, 205, 60, 255)
    edge = np.zeros((H, W), bool)
    edge[:-1] |= np.any(picture[:-1] != picture[1:], axis=2)
    edge[:, :-1] |= np.any(picture[:, :-1] != picture[:, 1:], axis=2)
    picture[edge] = (24, 20, 36, 255)
    return picture


print(f"flat {W}x{H}, median of {ROUNDS}, all cores:")
for dtype in (np.uint8, np.uint16, np.float32):
    pixels = flat(dtype)
    copy_ms = median_ms(lambda: pixels.copy())
    render_ms = median_ms(lambda: corvalin.render(pixels))
    print(f"  {np.dtype(dtype).name:8s} copy {copy_ms:7.1f} ms  render {render_ms:7.1f} ms"
          f"  {render_ms / copy_ms:5.2f}x the copy")

pixels = cel()
one = median_ms(lambda: corvalin.render(pixels, threads=1))
two = median_ms(lambda: corvalin.render(pixels, threads=2))
print(f"cel {W}x{H} uint8: 1 thread {one:.1f} ms, 2 threads {two:.1f} ms, {one / two:.2f}x faster")
