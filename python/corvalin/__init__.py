"""Corvalin smooths the jagged edges of flat-colour images, bit for bit as the
effect and the corvalin command do. See render() and controls()."""

from ._corvalin import __version__, controls, render

__all__ = ["render", "controls", "__version__"]
