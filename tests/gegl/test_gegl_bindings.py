"""The operation through GEGL's GObject bindings in /usr/bin/python3: its
properties, graphs from files and buffers from NumPy against the corvalin
command, a whole frame pinned to exact values, and what it does with bad
values and bad inputs."""
import os
import tempfile
import unittest

import numpy as np

from gegl_support import (CLI, OPERATION, SETTINGS, command_render, expect_equal, oiio, pictures,
                          read_png, write_png)

try:
    import gi

    gi.require_version("Gegl", "0.4")
    from gi.repository import Gegl, GLib
except (ImportError, ValueError):
    Gegl = None

if Gegl is not None:
    Gegl.init(None)

U8, U16, FLOAT = "R'G'B'A u8", "R'G'B'A u16", "R'G'B'A float"
DTYPES = {U8: np.uint8, U16: np.uint16, FLOAT: np.float32, "R'G'B'A half": np.float16}


def set_properties(node, settings):
    for name, value in settings.items():
        if name == "alpha-key":
            value = Gegl.Color.new("#%02x%02x%02x" % value)
        node.set_property(name, value)


def buffer_from(pixels, fmt, x=0, y=0):
    height, width = pixels.shape[:2]
    buffer = Gegl.Buffer.new(fmt, x, y, width, height)
    buffer.set(Gegl.Rectangle.new(x, y, width, height), fmt,
               np.ascontiguousarray(pixels.astype(DTYPES[fmt])).tobytes())
    return buffer


def blit(node, rect, fmt, level=0):
    """The node's output over `rect`, read back in `fmt` at `level`."""
    x, y, width, height = rect
    out = Gegl.Buffer.new(fmt, x, y, width, height)
    region = Gegl.Rectangle.new(x, y, width, height)
    node.blit_buffer(out, region, level, Gegl.AbyssPolicy.NONE)
    data = out.get(region, 1.0 / (1 << level), fmt, Gegl.AbyssPolicy.NONE)
    return np.frombuffer(data, DTYPES[fmt]).reshape(height, width, 4)


def render_buffer(source, settings, fmt, rect=None, level=0, source_node=None):
    """The operation's output over `rect` (the source's extent by default),
    with the buffer `source` or the node `source_node` makes as its input."""
    graph = Gegl.Node()
    if source_node is None:
        source_node = graph.create_child("gegl:buffer-source")
        source_node.set_property("buffer", source)
    else:
        source_node = source_node(graph)
    node = graph.create_child(OPERATION)
    set_properties(node, settings)
    source_node.link(node)
    if rect is None:
        extent = source.get_extent()
        rect = (extent.x, extent.y, extent.width, extent.height)
    return blit(node, rect, fmt, level)


def render(pixels, settings=None, fmt=U8, out_fmt=None):
    return render_buffer(buffer_from(pixels, fmt), settings or {}, out_fmt or fmt)


class Warnings:
    """The operation's warnings while the block runs."""

    def __enter__(self):
        self.messages = []
        self.handler = GLib.log_set_handler(
            "corvalin", GLib.LogLevelFlags.LEVEL_WARNING,
            lambda domain, level, message, data: self.messages.append(message), None)
        return self

    def __exit__(self, *exc):
        GLib.log_remove_handler("corvalin", self.handler)


def channels16(samples):
    """16-bit samples as 16-bit render channels: (v * 32768 + 32767) // 65535."""
    return (samples.astype(np.int64) * 32768 + 32767) // 65535


def samples16(channels):
    return ((np.asarray(channels, np.int64) * 65535 + 16384) // 32768).astype(np.uint16)


def float_channels(v):
    """lround(clamp(v, 0, 1) * 32768), NaN as 0."""
    v = np.nan_to_num(np.asarray(v, np.float64), nan=0.0)
    return np.floor(np.clip(v, 0.0, 1.0) * 32768 + 0.5).astype(np.int64)


@unittest.skipUnless(Gegl and Gegl.has_operation(OPERATION),
                     "needs GEGL's bindings (gir1.2-gegl-0.4, python3-gi) and the operation")
class Description(unittest.TestCase):
    def test_properties_are_the_control_table(self):
        # (name, label, minimum, maximum, default), as the command's help has them.
        got = [(p.name, p.nick, getattr(p, "minimum", None), getattr(p, "maximum", None),
                getattr(p, "default_value", None)) for p in Gegl.Operation.list_properties(OPERATION)]
        self.assertEqual(got, [("use-color-key", "Use Color Key", None, None, False),
                               ("alpha-key", "Alpha Key", None, None, None),
                               ("smoother-range", "Smoother Range", 0.0, 100.0, 1.0),
                               ("line-weight", "Line Weight", 0.0, 1.0, 0.0),
                               ("corner-markers", "Corner Markers", None, None, True)])
        node = Gegl.Node().create_child(OPERATION)
        self.assertEqual(node.get_property("alpha-key").get_rgba(), (1.0, 1.0, 1.0, 1.0))


@unittest.skipUnless(Gegl and Gegl.has_operation(OPERATION),
                     "needs GEGL's bindings (gir1.2-gegl-0.4, python3-gi) and the operation")
class Frames(unittest.TestCase):
    def test_slope_pinned(self):
        # A shallow slope in steps of three pixels: graded ramps along each
        # step, and the opaque red markers at the processing rectangle's
        # corners (the values of the Python module's pinned frame).
        y, x = np.mgrid[:6, :12]
        grey = np.where(3 * y >= x, 200, 40).astype(np.uint8)
        got = render(np.dstack([grey, grey, grey, np.full_like(grey, 255)]), {"line-weight": 0.5})
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

    def test_the_key_takes_each_colour_byte_as_written(self):
        # Every grey once; "#vvvvvv" makes exactly that pixel transparent.
        greys = np.arange(256).reshape(16, 16)
        frame = np.dstack([greys, greys, greys, np.full_like(greys, 255)]).astype(np.uint8)
        source = buffer_from(frame, U8)
        for v in range(256):
            got = render_buffer(source, {"use-color-key": True, "alpha-key": (v, v, v),
                                         "smoother-range": 100.0, "corner-markers": False}, U8)
            self.assertEqual(list(zip(*np.nonzero(got[..., 3] == 0))), [divmod(v, 16)], v)

    def test_reduced_levels_pass_the_input_through(self):
        # A viewer zoomed out asks for mipmap levels; the effect is defined
        # on the image's own pixels and is left out there.
        frame = pictures()[0][1]
        source = buffer_from(frame, U8)
        rect = (0, 0, (frame.shape[1] + 1) // 2, (frame.shape[0] + 1) // 2)
        src = Gegl.Node().create_child("gegl:buffer-source")
        src.set_property("buffer", source)
        np.testing.assert_array_equal(render_buffer(source, {}, U8, rect, level=1),
                                      blit(src, rect, U8, level=1))
        self.assertFalse(np.array_equal(render_buffer(source, {}, U8), frame))


@unittest.skipUnless(Gegl and Gegl.has_operation(OPERATION) and CLI and oiio,
                     "needs GEGL's bindings, the operation, the corvalin command and OpenImageIO")
class AgreesWithTheCommand(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def test_graphs_from_load_to_save(self):
        # gegl:save writes 16-bit PNGs: an 8-bit render comes back times 257.
        for name, pixels in pictures()[:2]:
            write_png(self.path(name + ".png"), pixels)
            for i, settings in enumerate(SETTINGS[1::2]):
                with self.subTest(picture=name, **settings):
                    out = self.path("%s-%d.png" % (name, i))
                    graph = Gegl.Node()
                    load = graph.create_child("gegl:load")
                    load.set_property("path", self.path(name + ".png"))
                    node = graph.create_child(OPERATION)
                    set_properties(node, settings)
                    save = graph.create_child("gegl:save")
                    save.set_property("path", out)
                    load.link(node)
                    node.link(save)
                    save.process()
                    want = command_render(self.dir.name, name + ".png", settings)
                    if want.dtype == np.uint8:
                        want = want.astype(np.uint16) * 257
                    expect_equal(self, read_png(out), want, name)

    def test_integer_buffers_from_numpy(self):
        for name, pixels in pictures()[:2]:
            write_png(self.path(name + ".png"), pixels)
            fmt = U8 if pixels.dtype == np.uint8 else U16
            for settings in SETTINGS:
                with self.subTest(picture=name, **settings):
                    want = command_render(self.dir.name, name + ".png", settings)
                    expect_equal(self, render(pixels, settings, fmt), want, name)

    def test_float_buffers_render_their_16_bit_channels(self):
        # Each sample's 16-bit channel, entered through a 16-bit file that
        # converts to it; half floats render as their float values.
        frame = pictures()[1][1].astype(np.float64) / 65535
        frame[3, :5] = [(0.0, -3.0, np.nan, 2.0), (np.inf, 0.1, -np.inf, 1.0),
                        (3 / 65536, 5 / 65536, 0.5, 0.75), (0.25, 1 / 3, 0.7, 1.0), (1, 1, 1, 1)]
        frame = frame.astype(np.float32)
        write_png(self.path("in.png"), samples16(float_channels(frame)))
        for settings in SETTINGS:
            with self.subTest(**settings):
                want = (channels16(command_render(self.dir.name, "in.png", settings)) / 32768)
                np.testing.assert_array_equal(render(frame, settings, FLOAT), want.astype(np.float32))
        half = frame.astype(np.float16)
        np.testing.assert_array_equal(render(half, {}, "R'G'B'A half", FLOAT),
                                      render(half.astype(np.float32), {}, FLOAT))


@unittest.skipUnless(Gegl and Gegl.has_operation(OPERATION),
                     "needs GEGL's bindings (gir1.2-gegl-0.4, python3-gi) and the operation")
class BadValuesAndInputs(unittest.TestCase):
    FRAME = pictures()[0][1]

    def test_values_out_of_range_pass_the_image_through_with_a_warning(self):
        cases = [
            ({"smoother-range": 100.5}, "smoother-range (Smoother Range) 100.5 is outside its range: "
                                        "it takes 0 to 100"),
            ({"smoother-range": -1.0}, "smoother-range (Smoother Range) -1 is outside"),
            ({"line-weight": float("nan")}, "line-weight (Line Weight) nan is outside its range: "
                                            "it takes 0 to 1"),
            ({"line-weight": float("inf")}, "line-weight (Line Weight) inf is outside"),
        ]
        source = buffer_from(self.FRAME, U8)
        for settings, message in cases:
            with self.subTest(**settings):
                with Warnings() as warnings:
                    got = render_buffer(source, settings, U8)
                np.testing.assert_array_equal(got, self.FRAME)
                self.assertEqual(len(warnings.messages), 1, warnings.messages)
                self.assertIn(message, warnings.messages[0])
                self.assertIn("passes through unchanged", warnings.messages[0])

    def test_a_value_set_within_range_again_renders(self):
        graph = Gegl.Node()
        src = graph.create_child("gegl:buffer-source")
        src.set_property("buffer", buffer_from(self.FRAME, U8))
        node = graph.create_child(OPERATION)
        src.link(node)
        rect = (0, 0, self.FRAME.shape[1], self.FRAME.shape[0])
        rendered = blit(node, rect, U8)
        with Warnings():
            node.set_property("smoother-range", 250.0)
        self.assertEqual(node.get_property("smoother-range"), 250.0)
        np.testing.assert_array_equal(blit(node, rect, U8), self.FRAME)
        node.set_property("smoother-range", 1.0)
        np.testing.assert_array_equal(blit(node, rect, U8), rendered)
        self.assertFalse(np.array_equal(rendered, self.FRAME))

    def test_images_it_cannot_render_pass_through_with_a_warning(self):
        def colour(graph):
            node = graph.create_child("gegl:color")
            node.set_property("value", Gegl.Color.new("#336699"))
            return node

        def cropped(width, height):
            def source(graph):
                crop = graph.create_child("gegl:crop")
                for name, v in (("x", 0.0), ("y", 0.0), ("width", width), ("height", height)):
                    crop.set_property(name, v)
                colour(graph).link(crop)
                return crop
            return source

        blue = np.array([[[0x33, 0x66, 0x99, 255]] * 2] * 2)
        cases = [
            (colour, "the input is an infinite plane, which has no size to render"),
            # 2^31 pixels: one more than the engine's 32-bit index reaches.
            (cropped(65536.0, 32768.0), "the image is too large to render: a frame of 65536 x 32768 "
                                        "pixels with rows 65536 pixels apart spans 2147483648 pixels"),
            (cropped(600_000_000.0, 2.0), "width at most 268435455 at 16 bits"),
        ]
        for source, message in cases:
            with self.subTest(message=message):
                with Warnings() as warnings:
                    got = render_buffer(None, {}, U8, (0, 0, 2, 2), source_node=source)
                np.testing.assert_array_equal(got, blue)
                self.assertEqual(len(warnings.messages), 1, warnings.messages)
                self.assertIn(message, warnings.messages[0])
                self.assertIn("passes through unchanged", warnings.messages[0])

    def test_an_empty_image_gives_an_empty_output(self):
        # GEGL asks nothing of an empty image. GIMP prepares the operation
        # on an empty input while its dialog is built, so that is no warning.
        with Warnings() as warnings:
            got = render_buffer(Gegl.Buffer.new(U8, 0, 0, 0, 0), {}, U8, (0, 0, 2, 2))
        np.testing.assert_array_equal(got, np.zeros((2, 2, 4)))
        self.assertEqual(warnings.messages, [])

    @unittest.skipUnless(CLI and oiio, "needs the corvalin command and OpenImageIO")
    def test_a_single_pixel_renders_as_the_command_renders_it(self):
        with tempfile.TemporaryDirectory() as directory:
            for pixel in ([10, 20, 30, 255], [10, 20, 30, 0]):
                for settings in ({}, {"corner-markers": False}, {"use-color-key": True,
                                                                 "alpha-key": (10, 20, 30)}):
                    with self.subTest(pixel=pixel, **settings):
                        frame = np.array([[pixel]], np.uint8)
                        write_png(os.path.join(directory, "one.png"), frame)
                        want = command_render(directory, "one.png", settings)
                        with Warnings() as warnings:
                            expect_equal(self, render(frame, settings), want, "1 x 1")
                        self.assertEqual(warnings.messages, [])


if __name__ == "__main__":
    unittest.main()
