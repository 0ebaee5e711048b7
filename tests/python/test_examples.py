# The Python page (docs/python.md) and the example script run as written, on a
# plate made here.
import os
import re
import subprocess
import sys

import numpy as np
import OpenImageIO as oiio

import trellin
from conftest import SOURCE_DIR, read_picture, test_picture, write_picture

EXAMPLE = SOURCE_DIR / "apps" / "python" / "examples" / "glass_sequence.py"


def python_page():
    return (SOURCE_DIR / "docs" / "python.md").read_text()


def run(args, cwd):
    r = subprocess.run(args, cwd=cwd, capture_output=True, text=True, timeout=120)
    assert r.returncode == 0, r.stdout + r.stderr
    return r


def test_python_page_code_runs(tmp_path):
    write_picture(tmp_path / "plate.exr", test_picture(36, 64, 4, np.float32))
    for code in re.findall(r"```python\n(.*?)```", python_page(), re.S):
        run([sys.executable, "-c", code], tmp_path)
    assert (tmp_path / "spin.json").exists()


def test_example_writes_the_keyed_sequence(tmp_path):
    plate = test_picture(30, 40, 4, np.float32)
    write_picture(tmp_path / "plate.exr", plate)
    (tmp_path / "renders").mkdir()
    command = re.search(r"PYTHONPATH=build/python (\S+) (apps/python/examples/\S+) (.*)", python_page())
    assert command and command.group(2) == str(EXAMPLE.relative_to(SOURCE_DIR))
    run([sys.executable, EXAMPLE, "plate.exr", "renders/glass.%04d.exr", "--frames", "3-6"], tmp_path)
    assert sorted(os.listdir(tmp_path / "renders")) == [f"glass.{f:04d}.exr" for f in range(3, 7)]

    sys.path.insert(0, str(EXAMPLE.parent))
    try:
        import glass_sequence
    finally:
        sys.path.pop(0)
    node = glass_sequence.keyed_node(3, 6)
    for frame in (3, 5):
        written = read_picture(tmp_path / f"renders/glass.{frame:04d}.exr")
        assert written.dtype == np.float16
        np.testing.assert_array_equal(written, node.render(plate, time=frame).astype(np.float16))
