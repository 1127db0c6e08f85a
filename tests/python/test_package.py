"""The installed shape of the module: package, type stub and metadata."""

import ast
import importlib.metadata
import os
import unittest

import corvalin


def stub_render_keywords():
    """render()'s keyword arguments and their defaults, as the stub declares them."""
    stub = os.path.join(os.path.dirname(corvalin.__file__), "__init__.pyi")
    with open(stub, encoding="utf-8") as f:
        tree = ast.parse(f.read())
    render = next(node for node in tree.body
                  if isinstance(node, ast.FunctionDef) and node.name == "render")
    args = render.args
    return {a.arg: ast.literal_eval(d) for a, d in zip(args.kwonlyargs, args.kw_defaults)}


class PackageTest(unittest.TestCase):
    def test_stub_declares_every_control_with_its_default(self):
        declared = stub_render_keywords()
        controls = {c["name"]: c["default"] for c in corvalin.controls()}
        own = ("corner_markers", "premultiplied", "depth", "threads")
        self.assertEqual({k: v for k, v in declared.items() if k not in own}, controls)
        self.assertIs(declared["corner_markers"], True)
        self.assertIs(declared["premultiplied"], False)
        self.assertIsNone(declared["depth"])
        self.assertIsNone(declared["threads"])

    def test_typed_package_with_the_native_module_inside(self):
        folder = os.path.dirname(corvalin.__file__)
        self.assertTrue(os.path.isfile(os.path.join(folder, "py.typed")))
        self.assertEqual(corvalin.render.__module__.split(".")[0], "corvalin")

    def test_distribution_metadata_gives_the_module_version(self):
        self.assertEqual(importlib.metadata.version("corvalin"), corvalin.__version__)


if __name__ == "__main__":
    unittest.main()
