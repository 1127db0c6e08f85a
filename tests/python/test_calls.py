"""How render() is called: refused arguments, threads, references and memory."""
import gc
import sys
import threading
import time
import tracemalloc
import unittest

import numpy as np

import corvalin
from test_render import PALETTE16, cel_frame

FRAME = np.zeros((8, 9, 4), np.uint8)


def huge(shape):
    """A frame of any size that owns one pixel."""
    return np.broadcast_to(np.zeros((1, 1, shape[2]), np.uint8), shape)


def resident_bytes():
    with open("/proc/self/statm") as f:
        return int(f.read().split()[1]) * 4096


class Arguments(unittest.TestCase):
    REFUSED = [
        # (exception, words the message must hold, positional arguments, keyword arguments)
        (TypeError, "numpy.ndarray", ([[[0, 0, 0, 0]]],), {}),
        (TypeError, "only positional argument", (FRAME, 2.0), {}),
        (TypeError, "unexpected keyword argument 'smootherRange'", (FRAME,), {"smootherRange": 1}),
        (ValueError, "3 dimensions", (np.zeros((4, 4), np.uint8),), {}),
        (ValueError, "3 (RGB) or 4 (RGBA) channels, got 2", (np.zeros((4, 4, 2), np.uint8),), {}),
        (TypeError, "float64; use uint8", (FRAME.astype(np.float64),), {}),
        (TypeError, "other byte order", (FRAME.astype(">u2"),), {}),
        (ValueError, "empty (0 x 8)", (np.zeros((8, 0, 4), np.uint8),), {}),
        (ValueError, "at most 2147483647", (huge((46341, 46341, 4)),), {}),
        (ValueError, "width at most 268435455 at 16 bits", (huge((1, 300_000_000, 4)),), {"depth": 16}),
        (ValueError, "smoother_range must be a number from 0 to 100, got 100.5", (FRAME,),
         {"smoother_range": 100.5}),
        (ValueError, "line_weight must be a number from 0 to 1, got nan", (FRAME,),
         {"line_weight": float("nan")}),
        (ValueError, "use_color_key must be True or False", (FRAME,), {"use_color_key": 2}),
        (ValueError, "corner_markers must be True or False (or 0 or 1), got 2", (FRAME,),
         {"corner_markers": 2}),
        (TypeError, "corner_markers must be True or False, got 'no'", (FRAME,),
         {"corner_markers": "no"}),
        (ValueError, "alpha_key must be three integers from 0 to 255", (FRAME,),
         {"alpha_key": (255, 255, 256)}),
        (ValueError, "threads must be an integer from 1 to 256", (FRAME,), {"threads": 0}),
        (TypeError, "three integers", (FRAME,), {"alpha_key": "fff"}),
        (ValueError, "depth must be 8 or 16", (FRAME,), {"depth": 12}),
        (ValueError, "float pixels render at 16 bits", (FRAME.astype(np.float32),), {"depth": 8}),
    ]

    def test_refused_arguments_name_the_problem_and_the_range(self):
        for error, words, args, kwargs in self.REFUSED:
            with self.subTest(words=words):
                with self.assertRaises(error) as caught:
                    corvalin.render(*args, **kwargs)
                self.assertIn(words, str(caught.exception))

    # Values Python or NumPy would convert, but that are not what the
    # argument takes: a flag for a number, an array for a single value.
    NOT_THE_TYPE = [
        ("smoother_range must be a number from 0 to 100, got True", {"smoother_range": True}),
        ("line_weight must be a number from 0 to 1, got False", {"line_weight": False}),
        ("smoother_range must be a number from 0 to 100, got True", {"smoother_range": np.bool_(True)}),
        ("smoother_range must be a number from 0 to 100, got an array of shape (1,)",
         {"smoother_range": np.array([5.0])}),
        ("line_weight must be a number from 0 to 1, got an array of shape (1, 1)",
         {"line_weight": np.ones((1, 1))}),
        ("use_color_key must be True or False, got an array of shape (1,)",
         {"use_color_key": np.array([1])}),
        ("threads must be an integer from 1 to 256, or None for all cores, got an array of shape (1,)",
         {"threads": np.array([2])}),
        ("depth must be 8 or 16, or None for the array's own, got True", {"depth": True}),
    ]

    def test_flags_and_arrays_for_single_values_are_refused_with_type_error(self):
        for message, kwargs in self.NOT_THE_TYPE:
            with self.subTest(message=message):
                with self.assertRaises(TypeError) as caught:
                    corvalin.render(FRAME, **kwargs)
                self.assertEqual(str(caught.exception), message)

    def test_pixel_arrays_of_other_shapes_are_refused(self):
        for shape, message in [
                ((1,), "pixels must have 3 dimensions (height, width, channels), got 1"),
                ((1, 1), "pixels must have 3 dimensions (height, width, channels), got 2"),
                ((1, 1, 1), "pixels must have 3 (RGB) or 4 (RGBA) channels, got 1"),
                ((1, 1, 4, 1), "pixels must have 3 dimensions (height, width, channels), got 4"),
                ((0, 0, 4), "pixels is empty (0 x 0); width and height must be at least 1")]:
            with self.subTest(shape=shape):
                with self.assertRaises(ValueError) as caught:
                    corvalin.render(np.zeros(shape, np.uint8))
                self.assertEqual(str(caught.exception), message)
        # One pixel is a frame: its one pixel is every corner of the rendered
        # rectangle, so it comes back as the corner marker, opaque red.
        pixel = np.array([[[12, 34, 56, 78]]], np.uint8)
        np.testing.assert_array_equal(corvalin.render(pixel), [[[255, 0, 0, 255]]])
        # Without the markers it comes back as it is, as does a row of one
        # pixel's height, whose markers would lie outside it.
        np.testing.assert_array_equal(corvalin.render(pixel, corner_markers=False), pixel)
        row = np.array([[[12, 34, 56, 78]] * 5], np.uint8)
        np.testing.assert_array_equal(corvalin.render(row, corner_markers=False), row)

    def test_exceptions_other_than_a_failed_conversion_pass_through(self):
        class Interrupting:
            """Raises KeyboardInterrupt from every conversion Python tries."""
            def _interrupt(self, *args):
                raise KeyboardInterrupt

            __float__ = __index__ = __int__ = __len__ = __getitem__ = _interrupt

        class Failing(Interrupting):
            def _fail(self, *args):
                raise MemoryError

            __float__ = __index__ = __len__ = __getitem__ = _fail

        for keyword in ("smoother_range", "line_weight", "use_color_key", "alpha_key",
                        "corner_markers", "threads", "depth"):
            for value, error in ((Interrupting(), KeyboardInterrupt), (Failing(), MemoryError)):
                with self.subTest(keyword=keyword, error=error.__name__):
                    with self.assertRaises(error):
                        corvalin.render(FRAME, **{keyword: value})

    def test_the_ends_of_every_range_are_accepted(self):
        for kwargs in ({"smoother_range": 0, "line_weight": 1}, {"smoother_range": np.float32(100)},
                       {"use_color_key": np.bool_(True), "alpha_key": np.array([0, 255, 7])},
                       {"threads": 256, "depth": 16}, {"threads": np.int64(1), "pixels": FRAME}):
            with self.subTest(**{k: repr(v) for k, v in kwargs.items()}):
                args = () if "pixels" in kwargs else (FRAME,)
                self.assertEqual(corvalin.render(*args, **kwargs).shape, FRAME.shape)


class Threads(unittest.TestCase):
    def test_two_python_threads_render_as_one_at_a_time(self):
        frames = [cel_frame(s, 120, 150, PALETTE16).astype(np.uint16) for s in (11, 12)]
        alone = [corvalin.render(f, line_weight=0.5) for f in frames]
        results = [[], []]
        threads = [threading.Thread(target=lambda i=i: results[i].extend(
            corvalin.render(frames[i], line_weight=0.5, threads=2) for _ in range(15))) for i in (0, 1)]
        for t in threads:
            t.start()
        for t in threads:
            t.join()
        for i, n in ((0, 1), (1, 3)):
            results[i].append(corvalin.render(frames[i], line_weight=0.5, threads=n))
        for want, got in zip(alone, results):
            self.assertEqual(len(got), 16)
            for r in got:
                np.testing.assert_array_equal(r, want)

    def test_the_gil_is_free_while_a_frame_renders(self):
        # Noise makes every pixel an edge: a render long enough that this
        # thread, waking from a short sleep, finds it still running only if
        # the render let go of the interpreter.
        noise = np.random.default_rng(5).integers(0, 65536, (1024, 1024, 4), dtype=np.uint16)
        started, done = threading.Event(), threading.Event()
        worker = threading.Thread(target=lambda: (started.set(), corvalin.render(noise, threads=1),
                                                  done.set()))
        worker.start()
        started.wait()
        time.sleep(0.02)
        still_rendering = not done.is_set()
        worker.join()
        self.assertTrue(still_rendering)


class References(unittest.TestCase):
    def test_a_thousand_calls_keep_no_references_or_memory(self):
        frame = cel_frame(13, 64, 64, PALETTE16).astype(np.uint16)
        view = frame[::-1]
        for _ in range(50):
            corvalin.render(view)
        refs = sys.getrefcount(frame), sys.getrefcount(view)
        gc.collect()
        resident = resident_bytes()
        tracemalloc.start()
        try:
            before = tracemalloc.get_traced_memory()[0]
            for i in range(1000):
                result = corvalin.render(view, use_color_key=bool(i & 1))
                self.assertEqual(sys.getrefcount(result), 2)
                with self.assertRaises(ValueError):
                    corvalin.render(view, smoother_range=-1)
            del result
            gc.collect()
            grown = tracemalloc.get_traced_memory()[0] - before
        finally:
            tracemalloc.stop()
        self.assertEqual((sys.getrefcount(frame), sys.getrefcount(view)), refs)
        # One result is 32 KiB, and the render's two worlds as much again,
        # which Python's tracing does not see: a leak of either adds 32 MiB.
        self.assertLess(grown, 256 * 1024)
        self.assertLess(resident_bytes() - resident, 16 << 20)


if __name__ == "__main__":
    unittest.main()
