"""GIMP 2.10 in batch mode (gimp -i -b): the plug-in applies the operation to
the layer of an 8-bit and a 16-bit PNG, and GIMP's export equals the corvalin
command's render of the file; a value out of range is refused by name and
leaves the layer as it was.

The plug-in comes from CORVALIN_GIMP_PLUG_INS (the build tree) where that is
set, else from GIMP's own folder, where the package installs it."""
import os
import shutil
import subprocess
import tempfile
import unittest

from gegl_support import (CLI, SETTINGS, command_render, expect_equal, oiio, pictures, read_png,
                          write_png)

GIMP = shutil.which("gimp")
PLUG_INS = os.environ.get("CORVALIN_GIMP_PLUG_INS")


def script_value(value):
    if isinstance(value, bool):
        return "TRUE" if value else "FALSE"
    if isinstance(value, tuple):
        return "'(%d %d %d)" % value
    return repr(float(value))


def apply_call(settings):
    """The procedure's call on `image` and `drawable`, every property given."""
    values = {"use-color-key": False, "alpha-key": (255, 255, 255), "smoother-range": 1.0,
              "line-weight": 0.0, "corner-markers": True}
    values.update(settings)
    return ("(plug-in-corvalin-smooth-edges RUN-NONINTERACTIVE image drawable %s)" %
            " ".join(script_value(values[name]) for name in
                     ("use-color-key", "alpha-key", "smoother-range", "line-weight",
                      "corner-markers")))


def batch(source, out, call):
    """Loads SOURCE, runs `call`, and exports the image to OUT with the
    colour of transparent pixels kept, as the command keeps it."""
    return ('(let* ((image (car (gimp-file-load RUN-NONINTERACTIVE "{0}" "{0}")))'
            ' (drawable (car (gimp-image-get-active-drawable image))))'
            ' {2}'
            ' (file-png-save2 RUN-NONINTERACTIVE image drawable "{1}" "{1}" 0 9 0 0 0 0 0 0 1)'
            ' (gimp-image-delete image))').format(source, out, call)


@unittest.skipUnless(GIMP and CLI and oiio, "needs GIMP 2.10 (gimp), the corvalin command and "
                                            "OpenImageIO")
class GimpBatch(unittest.TestCase):
    def test_layers_render_as_the_command_renders_the_file(self):
        with tempfile.TemporaryDirectory() as directory:
            path = lambda name: os.path.join(directory, name)
            # GIMP's settings in a folder of the test's, naming the build's
            # plug-in beside GIMP's own (Script-Fu among them).
            config = path("gimp")
            os.makedirs(os.path.join(config, "gradients"))
            if PLUG_INS:
                with open(os.path.join(config, "gimprc"), "w") as gimprc:
                    gimprc.write('(plug-in-path "${gimp_plug_in_dir}/plug-ins:%s")\n' % PLUG_INS)
            cases = []
            for name, pixels in pictures()[:2]:
                write_png(path(name + ".png"), pixels)
                for i, settings in enumerate([SETTINGS[0], SETTINGS[1], SETTINGS[5], SETTINGS[7]]):
                    cases.append((name, settings, path("%s-%d.png" % (name, i))))
            commands = [batch(path(name + ".png"), out, apply_call(settings))
                        for name, settings, out in cases]
            refused = batch(path("rgba8.png"), path("refused.png"),
                            "(catch #f %s)" % apply_call({"smoother-range": 150.0}))
            unrefused = batch(path("rgba8.png"), path("never.png"),
                              apply_call({"line-weight": -0.5}))
            args = [GIMP, "-i", "-d", "-f", "--no-splash"]
            for command in commands + [refused, unrefused, "(gimp-quit 0)"]:
                args += ["-b", command]
            env = dict(os.environ, GIMP2_DIRECTORY=config)
            done = subprocess.run(args, capture_output=True, text=True, env=env, timeout=300,
                                  cwd=directory)
            log = done.stdout + done.stderr
            for name, settings, out in cases:
                with self.subTest(picture=name, **settings):
                    self.assertTrue(os.path.exists(out), log)
                    expect_equal(self, read_png(out), command_render(directory, name + ".png",
                                                                     settings), name)
            # A value out of range: an error naming it, the layer unchanged.
            self.assertIn("line-weight (Line Weight) -0.5 is outside its range: it takes 0 to 1", log)
            self.assertFalse(os.path.exists(path("never.png")))
            expect_equal(self, read_png(path("refused.png")), pictures()[0][1], "refused")


if __name__ == "__main__":
    unittest.main()
