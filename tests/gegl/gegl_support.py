"""What the GEGL operation's tests share: test pictures, PNG files written and
decoded by OpenImageIO (not by GEGL, which is under test), the corvalin
command's render of a file, and the settings each comparison runs.

The tests find the command in CORVALIN_CLI and the operation wherever GEGL
looks (ctest sets GEGL_PATH to GEGL's own folder and the build's)."""
import os
import shutil
import subprocess

import numpy as np

try:
    import OpenImageIO as oiio
except ImportError:
    oiio = None

CLI = os.environ.get("CORVALIN_CLI")
GEGL = shutil.which("gegl")
OPERATION = "corvalin:smooth-edges"

# Four settings with the key off and four with it on, as the operation's
# properties; each key colour is one of the pictures' colours.
SETTINGS = [
    {},
    {"smoother-range": 5.0, "line-weight": 0.5},
    {"smoother-range": 0.0, "line-weight": 1.0},
    {"smoother-range": 2.9, "line-weight": 0.7, "corner-markers": False},
    {"use-color-key": True},
    {"use-color-key": True, "alpha-key": (0, 128, 255), "line-weight": 0.3},
    {"use-color-key": True, "alpha-key": (200, 30, 40), "smoother-range": 25.0},
    {"use-color-key": True, "alpha-key": (0, 0, 0), "smoother-range": 0.5, "line-weight": 0.25,
     "corner-markers": False},
]

PALETTE8 = [(255, 255, 255, 255), (0, 0, 0, 255), (0, 128, 255, 255), (200, 30, 40, 255),
            (90, 200, 60, 128), (10, 20, 30, 0), (250, 240, 10, 255)]
# The 8-bit colours at 16 bits, so that the keys find them, and colours
# between the 8-bit steps.
PALETTE16 = [tuple(v * 257 for v in c) for c in PALETTE8] + [
    (4660, 51234, 32768, 65535), (33333, 1, 65534, 20000)]


def cel_frame(seed, height, width, palette):
    """Flat regions with stair-stepped edges: discs, slopes, one-pixel lines;
    the first colour is the background."""
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


def pictures():
    """(name, pixels) of the four kinds: 8 and 16 bits, opaque RGB and RGBA
    with transparent and half-transparent areas."""
    rgba8 = cel_frame(1, 29, 37, PALETTE8).astype(np.uint8)
    rgba16 = cel_frame(2, 31, 40, PALETTE16).astype(np.uint16)
    rgb8 = cel_frame(3, 24, 33, PALETTE8)[..., :3].astype(np.uint8)
    rgb16 = cel_frame(4, 27, 30, PALETTE16)[..., :3].astype(np.uint16)
    return [("rgba8", rgba8), ("rgba16", rgba16), ("rgb8", rgb8), ("rgb16", rgb16)]


def write_png(path, pixels):
    image = oiio.ImageBuf(np.ascontiguousarray(pixels))
    image.specmod().attribute("oiio:UnassociatedAlpha", 1)  # as stored, as the command reads
    assert image.write(path), image.geterror()


def read_png(path):
    straight = oiio.ImageSpec()
    straight.attribute("oiio:UnassociatedAlpha", 1)
    image = oiio.ImageBuf(path, 0, 0, straight)
    pixels = image.get_pixels(image.nativespec().format)
    assert pixels is not None, image.geterror()
    return pixels


def hex_colour(rgb):
    return "%02x%02x%02x" % tuple(rgb)


def command_options(settings):
    """The corvalin command's options for the operation's property values."""
    args = []
    for name, value in settings.items():
        if name == "corner-markers":
            args += [] if value else ["--no-corner-markers"]
        elif value is True:
            args.append("--" + name)
        elif name == "alpha-key":
            args += ["--alpha-key", hex_colour(value).upper()]
        else:
            args += ["--" + name, repr(value)]
    return args


def command_render(directory, name, settings):
    """The command's render of the file `name` in `directory`, decoded."""
    out = os.path.join(directory, "cli-" + name)
    subprocess.run([CLI, "render", os.path.join(directory, name), out, "--quiet"] +
                   command_options(settings), check=True)
    return read_png(out)


def gegl_arguments(settings):
    """The property=value words of the gegl command's chain."""
    words = []
    for name, value in settings.items():
        if isinstance(value, bool):
            words.append("%s=%s" % (name, "true" if value else "false"))
        elif name == "alpha-key":
            words.append("%s=#%s" % (name, hex_colour(value)))
        else:
            words.append("%s=%r" % (name, value))
    return words


def expect_equal(test, got, want, what):
    """Decoded pixels equal; RGB inputs compare their colour, which is all
    the command writes of them."""
    if want.shape[-1] == 3:
        got = got[..., :3]
    test.assertEqual(got.dtype, want.dtype, what)
    test.assertEqual(got.shape, want.shape, what)
    differing = np.count_nonzero((got != want).any(axis=-1))
    test.assertEqual(differing, 0, "%s: %d pixels differ" % (what, differing))
