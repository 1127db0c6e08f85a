"""render() against the corvalin command, the float mapping, and whole frames
pinned to exact values."""
import os
import subprocess
import tempfile
import unittest

import numpy as np

import corvalin

try:
    import OpenImageIO as oiio
except ImportError:
    oiio = None

CLI = os.environ.get("CORVALIN_CLI")

SETTINGS = [
    {},
    {"smoother_range": 5.0, "line_weight": 0.5},
    {"smoother_range": 0.0, "line_weight": 1.0},
    {"use_color_key": True},
    {"use_color_key": True, "alpha_key": (0, 128, 255), "line_weight": 0.3},
]


def cel_frame(seed, height, width, palette):
    """Flat regions with stair-stepped edges: discs, slopes, one-pixel lines,
    and colours from `palette` (the first is the background)."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[:height, :width]
    index = np.zeros((height, width), int)
    for _ in range(6):
        cy, cx, r = rng.uniform(0, height), rng.uniform(0, width), rng.uniform(3, width / 3)
        index[(y - cy) ** 2 + (x - cx) ** 2 < r * r] = rng.integers(1, len(palette))
    for _ in range(4):
        slope, offset = rng.uniform(-2.5, 2.5), rng.uniform(-width, width)
        index[(y * slope + offset).astype(int) == x] = rng.integers(1, len(palette))
    index[rng.integers(height), :] = rng.integers(1, len(palette))
    return np.asarray(palette)[index]


PALETTE8 = [(255, 255, 255, 255), (0, 0, 0, 255), (0, 128, 255, 255), (200, 30, 40, 255),
            (90, 200, 60, 128), (10, 20, 30, 0)]
PALETTE16 = [(65535, 65535, 65535, 65535), (0, 0, 0, 65535), (128 * 257, 0, 65535, 65535),
             (4660, 51234, 32768, 65535), (33333, 1, 65534, 20000), (7, 8, 9, 0)]
FRAMES8 = [cel_frame(s, h, w, PALETTE8).astype(np.uint8) for s, h, w in [(1, 29, 37), (2, 48, 64)]]
FRAMES16 = [cel_frame(s, h, w, PALETTE16).astype(np.uint16) for s, h, w in [(3, 31, 40), (4, 40, 56)]]


def channels16(samples):
    """16-bit samples as 16-bit render channels: (v * 32768 + 32767) // 65535."""
    return (samples.astype(np.int64) * 32768 + 32767) // 65535


def samples16(channels):
    """16-bit render channels as the samples the command writes."""
    return ((np.asarray(channels, np.int64) * 65535 + 16384) // 32768).astype(np.uint16)


def float_channels(v):
    """lround(clamp(v, 0, 1) * 32768), NaN as 0, worked in float64 where it is exact."""
    v = np.nan_to_num(np.asarray(v, np.float64), nan=0.0)
    return np.floor(np.clip(v, 0.0, 1.0) * 32768 + 0.5).astype(np.int64)


def write_png(path, pixels):
    image = oiio.ImageBuf(np.ascontiguousarray(pixels))
    image.specmod().attribute("oiio:UnassociatedAlpha", 1)  # as stored, as the command reads
    assert image.write(path), image.geterror()


def read_png(path):
    straight = oiio.ImageSpec()
    straight.attribute("oiio:UnassociatedAlpha", 1)
    image = oiio.ImageBuf(path, 0, 0, straight)
    return image.get_pixels(image.nativespec().format)


@unittest.skipUnless(CLI and oiio, "needs the corvalin command (CORVALIN_CLI) and OpenImageIO")
class AgreesWithTheCommand(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def command(self, frames, depth=None, **settings):
        """The command's renders of `frames` through EffectMain: one sequence
        for each size and sample type, since a sequence holds one of each."""
        args = ["--depth", str(depth)] if depth else []
        for name, value in settings.items():
            args += ["--" + name.replace("_", "-")] + (
                [] if value is True else ["%02X%02X%02X" % value] if name == "alpha_key" else [repr(value)])
        groups = {}
        for i, frame in enumerate(frames):
            groups.setdefault((frame.shape, frame.dtype.str), []).append(i)
        outputs = [None] * len(frames)
        for g, members in enumerate(groups.values()):
            path = os.path.join(self.dir.name, "%s" + str(g) + ".%%d.png")
            for i in members:
                write_png(path % "in" % i, frames[i])
            subprocess.run([CLI, "render", path % "in", path % "out",
                            "--frames", ",".join(str(i) for i in members),
                            "--threads", "1", "--quiet"] + args, check=True)
            for i in members:
                outputs[i] = read_png(path % "out" % i)
        return outputs

    def check(self, frames, depth, expected_from_file):
        for settings in SETTINGS:
            for i, (frame, out) in enumerate(zip(frames, self.command(frames, depth, **settings))):
                with self.subTest(frame=i, depth=depth, **settings):
                    got = corvalin.render(frame, depth=depth, **settings)
                    self.assertEqual(got.dtype, frame.dtype)
                    np.testing.assert_array_equal(got, expected_from_file(out))

    def test_integer_arrays_at_their_own_depth(self):
        self.check(FRAMES8, None, lambda out: out)
        self.check(FRAMES16, None, lambda out: out)

    def test_integer_arrays_at_the_other_depth(self):
        # uint8 comes back as the command's 16-bit samples read at 8 bits,
        # uint16 as the command's 8-bit samples times 257.
        self.check(FRAMES8, 16,
                   lambda out: ((out.astype(np.int64) * 255 + 32767) // 65535).astype(np.uint8))
        self.check(FRAMES16, 8, lambda out: out.astype(np.uint16) * 257)

    def test_rgb_arrays_render_opaque(self):
        self.check([f[..., :3] for f in FRAMES8 + FRAMES16], None, lambda out: out[..., :3])

    def test_without_corner_markers_as_the_command_leaves_them_out(self):
        for frames in (FRAMES8, FRAMES16):
            outputs = self.command(frames, no_corner_markers=True)
            for i, (frame, out) in enumerate(zip(frames, outputs)):
                with self.subTest(frame=i, dtype=frame.dtype.name):
                    got = corvalin.render(frame, corner_markers=False)
                    np.testing.assert_array_equal(got, out)
                    # The defined render differs only in its four red pixels.
                    marked = corvalin.render(frame, corner_markers=True)
                    differing = (got != marked).any(axis=2)
                    self.assertEqual(np.count_nonzero(differing), 4)
                    red = [np.iinfo(frame.dtype).max, 0, 0, np.iinfo(frame.dtype).max]
                    np.testing.assert_array_equal(marked[differing], [red] * 4)

    def test_float_renders_its_16_bit_channels(self):
        frame = cel_frame(5, 30, 41, [(1.0, 1.0, 1.0, 1.0), (0.0, -3.0, np.nan, 2.0),
                                      (0.25, 1 / 3, 0.7, 1.0), (3 / 65536, 5 / 65536, 0.5, 0.75),
                                      (np.inf, 0.1, -np.inf, 1.0)]).astype(np.float32)
        # Each sample's channel, entered through a 16-bit file that converts to it.
        file = samples16(float_channels(frame))
        np.testing.assert_array_equal(channels16(file), float_channels(frame))
        for settings in SETTINGS:
            with self.subTest(**settings):
                want = (channels16(self.command([file], **settings)[0]) / 32768).astype(np.float32)
                np.testing.assert_array_equal(corvalin.render(frame, **settings), want)
        # Half floats render as their float32 values, and the result narrows.
        half = frame.astype(np.float16)
        got = corvalin.render(half)
        self.assertEqual(got.dtype, np.float16)
        want = corvalin.render(half.astype(np.float32)).astype(np.float16)
        np.testing.assert_array_equal(got, want)

    def test_premultiplied_float_as_the_command_renders_openexr(self):
        # Colour within alpha, as an OpenEXR file holds it; the command
        # unpremultiplies it and writes its output premultiplied.
        frame = cel_frame(6, 27, 33, [(1.0, 1.0, 1.0, 1.0), (0.1, 0.2, 0.05, 0.25),
                                      (0.0, 0.0, 0.0, 0.0), (0.5, 0.25, 0.125, 0.5),
                                      (3 / 65536, 0.001, 0.002, 0.002)]).astype(np.float32)
        path = os.path.join(self.dir.name, "%s.exr")
        image = oiio.ImageBuf(np.ascontiguousarray(frame))
        self.assertTrue(image.write(path % "in"), image.geterror())
        for i, settings in enumerate(SETTINGS):
            with self.subTest(**settings):
                out = path % ("out%d" % i)  # a name of its own: ImageBuf caches what it read
                args = []
                for name, value in settings.items():
                    args += ["--" + name.replace("_", "-")] + (
                        [] if value is True else ["%02X%02X%02X" % value] if name == "alpha_key"
                        else [repr(value)])
                subprocess.run([CLI, "render", path % "in", out, "--float-output", "float",
                                "--threads", "1", "--quiet"] + args, check=True)
                want = oiio.ImageBuf(out).get_pixels(oiio.FLOAT)
                got = corvalin.render(frame, premultiplied=True, **settings)
                np.testing.assert_array_equal(got, want)
                self.assertTrue((got[..., :3] <= got[..., 3:]).all())


class Frames(unittest.TestCase):
    def test_float_frame_pinned(self):
        # At the full Smoother Range every neighbour is alike: the frame comes
        # back as its 16-bit channels, with opaque red markers at the corners
        # of the processing rectangle, (1, 1), (5, 1), (1, 3) and (5, 3).
        M, n = 32768, np.nan
        pixels = np.array([[[0.5, 0.25, 0, 1], [1.5, -1, n, 1], [3 / 65536, 1 / 65536, 0.99999, 1],
                            [0, 0, 0, 1], [0.1, 0.2, 0.3, 1], [1, 1, 1, 2]],
                           [[0.5, 0.5, 0.5, 1]] * 6, [[0.7, 0.6, 0.5, 1]] * 6, [[0, 0, 0, np.inf]] * 6],
                          np.float32)
        want = np.array([[[M // 2, M // 4, 0, M], [M, 0, 0, M], [2, 1, M, M], [0, 0, 0, M],
                          [3277, 6554, 9830, M], [M, M, M, M]],
                         [[M // 2] * 3 + [M]] * 6, [[22938, 19661, M // 2, M]] * 6, [[0, 0, 0, M]] * 6])
        unmarked = want.copy()
        want[[1, 1, 3, 3], [1, 5, 1, 5]] = (M, 0, 0, M)
        got = corvalin.render(pixels, smoother_range=100)
        np.testing.assert_array_equal(got, (want / M).astype(np.float32))
        # Without the markers nothing changes the frame but the conversion.
        got = corvalin.render(pixels, smoother_range=100, corner_markers=False)
        np.testing.assert_array_equal(got, (unmarked / M).astype(np.float32))

    def test_slope_pinned(self):
        # A shallow slope in steps of three pixels: graded ramps along each
        # step, and the opaque red markers at the processing rectangle's corners.
        y, x = np.mgrid[:6, :12]
        grey = np.where(3 * y >= x, 200, 40).astype(np.uint8)
        got = corvalin.render(np.dstack([grey, grey, grey, np.full_like(grey, 255)]), line_weight=0.5)
        want = np.array([
            [200, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40, 40],
            [200, 255, 193, 146, 102, 66, 41, 40, 40, 40, 40, 255],
            [200, 200, 200, 200, 198, 173, 137, 102, 66, 41, 40, 40],
            [200, 200, 200, 200, 200, 200, 200, 198, 173, 137, 70, 40],
            [200] * 12,
            [200, 255] + [200] * 9 + [255]])
        np.testing.assert_array_equal(got[..., 0], want)
        green = want.copy()
        green[[1, 1, 5, 5], [1, 11, 1, 11]] = 0
        np.testing.assert_array_equal(got[..., 1], green)
        np.testing.assert_array_equal(got[..., 2], green)
        self.assertTrue((got[..., 3] == 255).all())
        # Without the markers those four pixels keep the input's grey: the
        # ramps do not reach them.
        got = corvalin.render(np.dstack([grey, grey, grey, np.full_like(grey, 255)]), line_weight=0.5,
                              corner_markers=False)
        want[[1, 1, 5, 5], [1, 11, 1, 11]] = (200, 40, 200, 200)
        for c in range(3):
            np.testing.assert_array_equal(got[..., c], want)
        self.assertTrue((got[..., 3] == 255).all())

    def test_premultiplied_pinned(self):
        # At the full Smoother Range every neighbour is alike. The white key
        # clears the left two columns. (1, 2, 127) at alpha 128
        # unpremultiplies to (c * 255 + 64) // 128 = (2, 4, 253) and comes
        # back as (c * 128 + 127) // 255 = (1, 2, 127). The processing
        # rectangle holds the unkeyed columns: markers at (2, 1), (4, 1),
        # (2, 3) and (4, 3), opaque red.
        row = [[255, 255, 255, 255]] * 2 + [[1, 2, 127, 128]] * 3
        pixels = np.array([row] * 4, np.uint8)
        keyed = [[0, 0, 0, 0]] * 2 + [[1, 2, 127, 128]] * 3
        want = np.array([keyed] * 4)
        want[[1, 1, 3, 3], [2, 4, 2, 4]] = (255, 0, 0, 255)
        got = corvalin.render(pixels, use_color_key=True, smoother_range=100, premultiplied=True)
        np.testing.assert_array_equal(got, want)
        # Float: 0.25 / 0.5 = 0.5 -> channel 16384 -> 0.5 * 0.5 = 0.25.
        flt = np.array([[[0.25, 0.125, 0.0, 0.5]] * 5] * 4, np.float32)
        want = flt.copy()
        want[[1, 1, 3, 3], [1, 4, 1, 4]] = (1, 0, 0, 1)
        np.testing.assert_array_equal(corvalin.render(flt, smoother_range=100, premultiplied=True), want)
        # As the flags: 0 and 1 are taken, anything else named.
        with self.assertRaisesRegex(ValueError, "premultiplied must be True or False"):
            corvalin.render(pixels, premultiplied=2)
        with self.assertRaisesRegex(TypeError, "premultiplied must be True or False"):
            corvalin.render(pixels, premultiplied="yes")

    def test_premultiplied_is_the_straight_render_between_the_two_formulas(self):
        # The arithmetic worked here in NumPy on render channels of largest
        # value M: unpremultiply, render straight, premultiply.
        def unpremultiply(ch, m):
            a = ch[..., 3:]
            colour = np.where(a > 0, np.minimum(m, (ch[..., :3] * m + a // 2) // np.maximum(a, 1)), 0)
            return np.concatenate([colour, a], axis=-1)

        def premultiply(ch, m):
            a = ch[..., 3:]
            return np.concatenate([(ch[..., :3] * a + m // 2) // m, a], axis=-1)

        for settings in SETTINGS:
            with self.subTest(**settings):
                # 8 bits: channels are the samples.
                pre = premultiply(FRAMES8[1].astype(np.int64), 255)
                straight = corvalin.render(unpremultiply(pre, 255).astype(np.uint8), **settings)
                want = premultiply(straight.astype(np.int64), 255)
                got = corvalin.render(pre.astype(np.uint8), premultiplied=True, **settings)
                np.testing.assert_array_equal(got, want)
                self.assertTrue((got[..., :3] <= got[..., 3:]).all())
                # 16 bits: through the channels the samples convert to.
                pre = samples16(premultiply(channels16(FRAMES16[0]), 32768))
                un = samples16(unpremultiply(channels16(pre), 32768))
                straight = channels16(corvalin.render(un, **settings))
                want = samples16(premultiply(straight, 32768))
                np.testing.assert_array_equal(corvalin.render(pre, premultiplied=True, **settings), want)

    def test_any_strides_render_as_the_same_pixels_into_a_new_array(self):
        frame = FRAMES16[0]
        unaligned = np.frombuffer(b"\0" + frame.tobytes(), np.uint8)[1:].view(np.uint16)
        for view in (frame[::-1, ::2], frame[:, :, ::-1], frame[3:20, 5:30], np.asfortranarray(frame),
                     np.broadcast_to(frame[:1], (9,) + frame.shape[1:]), unaligned.reshape(frame.shape)):
            with self.subTest(strides=view.strides):
                result = corvalin.render(view, use_color_key=True)
                np.testing.assert_array_equal(result, corvalin.render(view.copy(), use_color_key=True))
                self.assertTrue(result.flags.c_contiguous and result.flags.writeable)
                self.assertIsNone(result.base)
        np.testing.assert_array_equal(frame, cel_frame(3, 31, 40, PALETTE16))

    def test_controls_are_the_keywords_with_their_defaults(self):
        table = corvalin.controls()
        self.assertEqual([c["name"] for c in table],
                         ["use_color_key", "alpha_key", "smoother_range", "line_weight"])
        self.assertEqual([table[2][k] for k in ("label", "type", "min", "max", "default")],
                         ["Smoother Range", "float", 0.0, 100.0, 1.0])
        self.assertEqual(corvalin.__version__, "1.0")
        defaults = {c["name"]: c["default"] for c in table}
        np.testing.assert_array_equal(corvalin.render(FRAMES8[1], **defaults),
                                      corvalin.render(FRAMES8[1]))


if __name__ == "__main__":
    unittest.main()
