# Type stub of the corvalin package: the signatures of the native module.
from typing import Any, Dict, List, Literal, Optional, Tuple, Union

import numpy as np
import numpy.typing as npt

__version__: str

Pixels = npt.NDArray[Union[np.uint8, np.uint16, np.float16, np.float32]]

def render(
    pixels: Pixels,
    *,
    use_color_key: bool = False,
    alpha_key: Tuple[int, int, int] = (255, 255, 255),
    smoother_range: float = 1.0,
    line_weight: float = 0.0,
    corner_markers: bool = True,
    premultiplied: bool = False,
    depth: Optional[Literal[8, 16]] = None,
    threads: Optional[int] = None,
) -> Pixels:
    """Smooths the edges of a frame (height x width x 4 RGBA, or x 3 RGB) and
    returns a new array of the same shape and dtype."""

def controls() -> List[Dict[str, Any]]:
    """The effect's controls: name, label, type, min, max, default and help."""
