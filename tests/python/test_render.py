# Renders through the module equal `trellin render` of the same picture,
# sample for sample: for every dtype and 3 or 4 channels, with keys, and
# with projects passed either way.
import numpy as np
import pytest

import trellin
from conftest import LOOK_ARGS, read_picture, test_picture, trellin as run_trellin, write_picture

# dtype: the input file trellin reads, and its output at the same depth.
DEPTHS = {
    np.uint8: ("png", "8", "png"),
    np.uint16: ("png", "16", "png"),
    np.float16: ("exr", "half", "exr"),
    np.float32: ("exr", "float", "exr"),
}


def from_16bit(samples, dtype):
    """16-bit samples in `dtype`, as trellin writes its depths."""
    v = samples.astype(np.uint32)
    if dtype == np.uint8:
        return ((v * 255 + 32767) // 65535).astype(np.uint8)
    if dtype == np.uint16:
        return samples
    return (v.astype(np.float32) / np.float32(65535)).astype(dtype)


@pytest.mark.parametrize("channels", [3, 4])
@pytest.mark.parametrize("dtype", list(DEPTHS))
def test_equals_trellin_render(tmp_path, look_node, dtype, channels):
    picture = test_picture(37, 53, channels, dtype)
    ext, depth, out_ext = DEPTHS[dtype]
    colour = []
    if ext == "exr":
        # The module takes samples as they stand; trellin reads OpenEXR as linear light with
        # associated alpha. Opaque alpha and a linear output make the two the same.
        if channels == 4:
            picture[..., 3] = 1
        colour = ["--colorspace-out", "linear"]
    # Values outside 0..1 (the float pictures hold some) clipped in both, and counted.
    hdr = "none"
    colour += ["--hdr", "none"]
    write_picture(tmp_path / f"in.{ext}", picture)
    run_trellin("render", tmp_path / f"in.{ext}", tmp_path / "out.png", *LOOK_ARGS, *colour)
    run_trellin("render", tmp_path / f"in.{ext}", tmp_path / f"depth.{out_ext}", "--depth", depth, *LOOK_ARGS,
                "--hdr", "none")

    if np.dtype(dtype).kind == "f":
        with pytest.warns(UserWarning, match=r"^render\(\): \d+ of \d+ samples lay outside 0..1"):
            rendered = look_node.render(picture, hdr=hdr)
    else:
        rendered = look_node.render(picture)
    assert rendered.dtype == picture.dtype and rendered.shape == picture.shape
    reference = read_picture(tmp_path / "out.png")
    assert reference.dtype == np.uint16
    np.testing.assert_array_equal(rendered, from_16bit(reference, dtype))
    np.testing.assert_array_equal(rendered, read_picture(tmp_path / f"depth.{out_ext}"))
    # A strided view (every other row, colour reversed) is read through its strides.
    view = picture[::2, :, 2::-1] if channels == 3 else picture[::2]
    np.testing.assert_array_equal(look_node.render(view, hdr=hdr), look_node.render(np.ascontiguousarray(view), hdr=hdr))
    # Written into `out`: a packed array, a strided view and the input itself give the same samples.
    out = np.zeros_like(picture)
    assert look_node.render(picture, hdr=hdr, out=out) is out
    np.testing.assert_array_equal(out, rendered)
    wide = np.zeros((picture.shape[0], picture.shape[1] * 2, channels), dtype)
    look_node.render(picture, hdr=hdr, out=wide[:, ::2])
    np.testing.assert_array_equal(wide[:, ::2], rendered)
    same = picture.copy()
    look_node.render(same, hdr=hdr, out=same)
    np.testing.assert_array_equal(same, rendered)


KEYS = ["Cell Angle@0=0", "Cell Angle@12=90", "Light Active@5=on", "Light@0=1,0,0,1", "Light@12=0,0,1,1",
        "CellShape@8=Square"]
FRAMES = [0, 4, 8, 12, 16]


def python_keys(node):
    node.key("Cell Angle", 0, 0)
    node.key("cell_angle", 12, 90.0)
    node.key("Light Active", 5, True)
    node.key("Light", 0, (1, 0, 0, 1))
    node.key("light", 12, [0, 0, 1, 1])
    node.key("CellShape", 8, "Square")


def test_keys_equal_trellin_keys_and_projects(tmp_path):
    picture = test_picture(31, 45, 4, np.uint16)
    for f in FRAMES:
        write_picture(tmp_path / f"in.{f}.png", picture)
    key_args = [a for k in KEYS for a in ("--key", k)]
    run_trellin("render", tmp_path / "in.%d.png", tmp_path / "out.%d.png", "--frames", "0-16x4", *key_args,
                "--save-project", tmp_path / "cli.json")

    node = trellin.Node()
    python_keys(node)
    from_cli_project = trellin.Node()
    from_cli_project.load_project(tmp_path / "cli.json")
    for f in FRAMES:
        expected = read_picture(tmp_path / f"out.{f}.png")
        np.testing.assert_array_equal(node.render(picture, time=f), expected, err_msg=f"frame {f}")
        np.testing.assert_array_equal(from_cli_project.render(picture, f), expected, err_msg=f"frame {f}")

    # A project saved from Python renders the same through trellin.
    node["Index"] = 1.7
    node.save_project(tmp_path / "py.json")
    run_trellin("render", tmp_path / "in.4.png", tmp_path / "project.png", "--frames", "4", "--project",
                tmp_path / "py.json")
    np.testing.assert_array_equal(read_picture(tmp_path / "project.png"), node.render(picture, time=4))


def test_looks_and_keywords_render_as_trellin_look_and_set(tmp_path):
    picture = test_picture(40, 30, 3, np.uint8)
    write_picture(tmp_path / "in.png", picture)
    run_trellin("render", tmp_path / "in.png", tmp_path / "turning.png", "--frames", "12", "--look", "turning-grid")
    run_trellin("render", tmp_path / "in.png", tmp_path / "lit.png", "--depth", "8", "--look", "lit-domes",
                "--set", "Index=1.6", "--set", "Cell Count X=6")
    node = trellin.Node()
    node.look("Turning-Grid")
    np.testing.assert_array_equal(node.render(picture, time=12),
                                  from_16bit(read_picture(tmp_path / "turning.png"), np.uint8))
    assert ("turning-grid" in dict(trellin.looks())) and all(summary for _, summary in trellin.looks())
    with pytest.raises(ValueError, match='did you mean "hexagon-glass"'):
        node.look("hexagon-glas")
    expected = read_picture(tmp_path / "lit.png")
    np.testing.assert_array_equal(trellin.render(picture, look="lit-domes", index=1.6, cell_count_x=6), expected)
    node = trellin.Node(look="Lit-Domes", index=1.6, cell_count_x=6)
    np.testing.assert_array_equal(node.render(picture), expected)
    assert node.look_name == "lit-domes"


def test_out_must_fit_the_input():
    node = trellin.Node()
    picture = test_picture(8, 6, 4, np.uint16)
    with pytest.raises(ValueError, match=r"out must have the input's shape \(8, 6, 4\) and dtype uint16"):
        node.render(picture, out=np.zeros((8, 6, 3), np.uint16))
    with pytest.raises(ValueError, match="dtype uint16"):
        node.render(picture, out=np.zeros((8, 6, 4), np.uint8))
    with pytest.raises(TypeError, match="out must be a NumPy array"):
        node.render(picture, out=[0] * 4)
    locked = np.zeros_like(picture)
    locked.flags.writeable = False
    with pytest.raises(ValueError, match="read-only"):
        node.render(picture, out=locked)
    assert not locked.any()


def test_float64_renders_as_float32():
    picture = test_picture(20, 24, 4, np.float32)
    got = trellin.render(picture.astype(np.float64), cell_shape="Square")
    assert got.dtype == np.float64 and got.shape == picture.shape
    np.testing.assert_array_equal(got, trellin.render(picture, cell_shape="Square").astype(np.float64))


def test_set_holds_a_control_and_drops_its_keys():
    node = trellin.Node()
    python_keys(node)
    node.set("Cell Angle", 30)
    node.clear_keys("Light")
    controls = {c["name"]: c for c in node.controls}
    assert controls["cell_angle"]["keys"] == [] and controls["cell_angle"]["value"] == 30.0
    assert controls["light"]["keys"] == []
    assert controls["cell_shape"]["keys"] == [(8.0, "Square")]
    picture = test_picture(20, 24, 3, np.uint8)
    fixed = trellin.Node()
    fixed["Cell Angle"] = 30
    fixed["Light Active"] = True
    fixed["CellShape"] = 1
    np.testing.assert_array_equal(node.render(picture, time=9), fixed.render(picture))


def test_one_line_render_takes_keyword_names():
    picture = test_picture(24, 30, 4, np.float32)
    node = trellin.Node()
    node["CellShape"] = "Hexagon"
    node["Cell Count X"] = 20
    node["Light Active"] = True
    node["Light"] = (0.2, 0.4, 1.0)
    expected = node.render(picture, time=3)
    got = trellin.render(picture, 3, cell_shape="hexagon", cell_count_x=np.int64(20), light_active=True,
                         light=np.array([0.2, 0.4, 1.0]))
    np.testing.assert_array_equal(got, expected)
