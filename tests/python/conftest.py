# Shared helpers of the Python module's tests: the trellin program, pictures
# written and read through OpenImageIO, and the test pictures.
import os
import subprocess
from pathlib import Path

import numpy as np
import OpenImageIO as oiio
import pytest

SOURCE_DIR = Path(__file__).resolve().parents[2]
BUILD_DIR = Path(os.environ.get("TRELLIN_BUILD_DIR", SOURCE_DIR / "build"))
TRELLIN = BUILD_DIR / "bin" / "trellin"

# Settings that use most of the effect (lit, coloured, chromatic glass), as
# Python values and as the same `--set` arguments.
LOOK = {"CellShape": "Hexagon", "Cell Count X": 7, "Cell Count Y": 5, "ChromaticAb": 30.0,
        "Light Active": True, "Light": (1, 0.8, 0.6, 1), "Smoothing": 2}
LOOK_ARGS = ["--set", "CellShape=Hexagon", "--set", "Cell Count X=7", "--set", "Cell Count Y=5",
             "--set", "ChromaticAb=30", "--set", "Light Active=on", "--set", "Light=1,0.8,0.6,1",
             "--set", "Smoothing=2"]

OIIO_TYPES = {np.dtype(np.uint8): oiio.UINT8, np.dtype(np.uint16): oiio.UINT16,
              np.dtype(np.float16): oiio.HALF, np.dtype(np.float32): oiio.FLOAT}


def trellin(*args, cwd=None):
    """Runs the trellin program; fails the test unless it succeeds."""
    r = subprocess.run([str(TRELLIN), *map(str, args)], cwd=cwd, capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, f"trellin {' '.join(map(str, args))}\n{r.stdout}{r.stderr}"
    return r


def write_picture(path, array):
    """Writes the array as it is (samples not multiplied by alpha) in its own sample type."""
    h, w, c = array.shape
    spec = oiio.ImageSpec(w, h, c, OIIO_TYPES[array.dtype])
    spec.attribute("oiio:UnassociatedAlpha", 1)
    out = oiio.ImageOutput.create(str(path))
    assert out is not None, oiio.geterror()
    assert out.open(str(path), spec), out.geterror()
    assert out.write_image(np.ascontiguousarray(array)), out.geterror()
    out.close()


def read_picture(path):
    """The samples as the file stores them."""
    inp = oiio.ImageInput.open(str(path), oiio.ImageSpec())
    assert inp is not None, oiio.geterror()
    spec = inp.spec()
    config = oiio.ImageSpec()
    config.attribute("oiio:UnassociatedAlpha", 1)
    inp.close()
    inp = oiio.ImageInput.open(str(path), config)
    pixels = inp.read_image(spec.format)
    inp.close()
    return pixels


def test_picture(height, width, channels, dtype, seed=7):
    """Gradients and noise over the whole range of the dtype; float pictures
    also hold samples outside 0..1, infinities and NaN, which renders clamp."""
    rng = np.random.default_rng(seed)
    y, x = np.mgrid[0:height, 0:width]
    unit = np.stack([x / (width - 1), y / (height - 1), (x + y) / (width + height - 2),
                     1 - y / (height - 1)][:channels], axis=-1)
    unit = 0.7 * unit + 0.3 * rng.random((height, width, channels))
    dtype = np.dtype(dtype)
    if dtype.kind == "u":
        top = np.iinfo(dtype).max
        return np.rint(unit * top).astype(dtype)
    picture = unit.astype(dtype)
    picture[0, :4, 0] = [-0.5, 1.5, np.inf, np.nan]
    picture[1, :3, 1] = [1e-7, 3e-6, -np.inf]
    return picture


test_picture.__test__ = False  # a helper, not a test


@pytest.fixture
def look_node():
    """A node set to LOOK through Python."""
    import trellin
    node = trellin.Node()
    for label, value in LOOK.items():
        node[label] = value
    return node
