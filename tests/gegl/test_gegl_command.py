"""Debian's gegl command with the operation in its chain: 8 and 16-bit PNG
files, opaque and with transparency, with the key on and off, decoded and
compared with the corvalin command's render of the same file; values out of
range named in a warning, the image passed through."""
import os
import subprocess
import tempfile
import unittest

import numpy as np

from gegl_support import (CLI, GEGL, OPERATION, SETTINGS, command_render, expect_equal,
                          gegl_arguments, oiio, pictures, read_png, write_png)


def run_gegl(source, words, out, bits):
    """gegl -i SOURCE -- corvalin:smooth-edges WORDS gegl:png-save, at `bits`
    bits per sample; returns its standard error."""
    done = subprocess.run([GEGL, "-i", source, "--", OPERATION] + words +
                          ["gegl:png-save", "path=" + out, "bitdepth=%d" % bits],
                          capture_output=True, text=True, check=True)
    return done.stderr


@unittest.skipUnless(GEGL and CLI and oiio,
                     "needs the gegl command (gegl), the corvalin command and OpenImageIO")
class GeglCommand(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.addCleanup(self.dir.cleanup)

    def path(self, name):
        return os.path.join(self.dir.name, name)

    def test_pictures_render_as_the_command_renders_them(self):
        compared = 0
        for name, pixels in pictures():
            write_png(self.path(name + ".png"), pixels)
            bits = pixels.dtype.itemsize * 8
            renders = []
            for i, settings in enumerate(SETTINGS):
                with self.subTest(picture=name, **settings):
                    out = self.path("%s-%d.png" % (name, i))
                    run_gegl(self.path(name + ".png"), gegl_arguments(settings), out, bits)
                    got = read_png(out)
                    expect_equal(self, got, command_render(self.dir.name, name + ".png", settings),
                                 "%s with %s" % (name, settings))
                    renders.append(got)
                    compared += 1
            # The pictures exercise the smoothing and the key: every setting
            # renders a picture of its own, none the input.
            self.assertEqual(len({r.tobytes() for r in renders}), len(SETTINGS), name)
            self.assertFalse(any(np.array_equal(r[..., :pixels.shape[-1]], pixels) for r in renders))
        self.assertEqual(compared, 4 * len(SETTINGS))

    def test_values_out_of_range_pass_the_image_through_with_a_warning(self):
        name, pixels = pictures()[1]
        write_png(self.path("in.png"), pixels)
        for words, message in [
                (["smoother-range=150"],
                 "smoother-range (Smoother Range) 150 is outside its range: it takes 0 to 100"),
                (["line-weight=-0.5"], "line-weight (Line Weight) -0.5 is outside its range: "
                                       "it takes 0 to 1"),
                (["smoother-range=2", "line-weight=nan"], "line-weight (Line Weight) nan is outside")]:
            with self.subTest(words=words):
                stderr = run_gegl(self.path("in.png"), words, self.path("out.png"), 16)
                self.assertIn(message, stderr)
                self.assertIn("passes through unchanged", stderr)
                expect_equal(self, read_png(self.path("out.png")), pixels, " ".join(words))


if __name__ == "__main__":
    unittest.main()
