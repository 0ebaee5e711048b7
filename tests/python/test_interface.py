# The module's interface: the control list, the exceptions bad names, values,
# pictures and files raise (and that a refused call changes nothing), and
# where the module finds its effect: from the build tree without loading any
# picture library, and from a `make install` tree by itself; without NumPy it
# refuses to import and says so.
import json
import os
import subprocess
import sys

import numpy as np
import pytest

import trellin
from conftest import BUILD_DIR


def test_controls_list_every_value_control():
    controls = trellin.Node().controls
    assert len(controls) == 26
    by_name = {c["name"]: c for c in controls}
    assert by_name["cell_count_x"] == {
        "name": "cell_count_x", "label": "Cell Count X", "kind": "numeric", "range": "1 to 100",
        "minimum": 1.0, "maximum": 100.0, "step": 1.0, "default": 10.0, "value": 10.0, "keys": []}
    assert by_name["cell_shape"]["label"] == "CellShape" and by_name["cell_shape"]["default"] == "Triangle"
    assert by_name["cell_shape"]["items"][3] == "Hexagon"
    assert by_name["light"]["value"] == (1.0, 1.0, 1.0, 1.0)
    assert by_name["light_active"]["value"] is False
    assert {"light_z", "chromatic_ab", "angle_centre_x", "invert_map", "show_map", "tweak_y"} <= by_name.keys()


def test_values_read_back_in_python_form_typed_as_they_count():
    node = trellin.Node()
    assert type(node["Cell Count X"]) is int and type(node["smoothing"]) is int and type(node["Index"]) is float
    assert node["Light Active"] is False and node["CellShape"] == "Triangle"
    node.set("edge", 2)
    node["Light Active"] = "on"
    node["Light"] = (0.5, 0.25, 1)
    node["Index"] = np.float32(1.5)
    node["Cell Count X"] = 12.0
    assert (node["Edge"], node["light_active"], node["Light"], node["Index"], node["Cell Count X"]) == (
        "Wrap", True, (0.5, 0.25, 1.0, 1.0), 1.5, 12)
    assert type(node["Cell Count X"]) is int
    assert {c["name"]: type(c["default"]) for c in node.controls}["cell_count_y"] is int
    # Between two keys a counting control may stand between two whole numbers.
    node.key("Cell Count X", 0, 10)
    node.key("Cell Count X", 10, 11)
    node.render(GOOD, time=5)
    assert node["Cell Count X"] == 10.5


def test_repr_shows_the_look_and_what_differs():
    assert repr(trellin.Node()) == "trellin.Node()"
    node = trellin.Node(look="lit-domes", index=1.6)
    node.key("Cell Angle", 0, 0)
    node.key("Cell Angle", 9, 30)
    assert repr(node) == "trellin.Node(look='lit-domes', index=1.6, cell_angle=<2 keys>)"
    node.render(GOOD, time=4)  # a keyed value changing with time is not a difference
    assert repr(node) == "trellin.Node(look='lit-domes', index=1.6, cell_angle=<2 keys>)"
    plain = trellin.Node(cell_shape="Hexagon", cell_count_x=20)
    assert repr(plain) == "trellin.Node(cell_shape='Hexagon', cell_count_x=20)"


def test_docstrings_read_as_python():
    texts = [trellin.__doc__, trellin.render.__doc__, trellin.looks.__doc__, trellin.Node.__doc__]
    texts += [getattr(trellin.Node, name).__doc__ for name in
              ("set", "key", "clear_keys", "load_project", "look", "save_project", "render", "__getitem__")]
    for text in texts:
        assert text
        for noise in ("arg0", "arg1", "handle", "self:", "ScriptNode", "object", "-> "):
            assert noise not in text, (noise, text)
    assert trellin.render.__doc__.startswith("render(array, time=0.0, look=None, hdr=None, **controls)")
    assert trellin.Node.render.__doc__.startswith("render(array, time=0.0, threads=None, hdr=None, out=None)")


NOT_TAKEN = [
    # call, exception, words the message must hold
    (lambda n: n.set("Sharpness", 1), KeyError, ["Sharpness"]),
    (lambda n: n["nope"], KeyError, ["nope", "Node().controls lists"]),
    (lambda n: n.set("cell_cout_x", 3), KeyError, ['did you mean "cell_count_x"']),
    (lambda n: n.__getitem__("Cell Cuont X"), KeyError, ['did you mean "Cell Count X"']),
    (lambda n: n.__setitem__("Index", 20), ValueError, ["Index", "1 to 10"]),
    (lambda n: n.set("Cell Count X", 0), ValueError, ["Cell Count X", "1 to 100"]),
    (lambda n: n.set("Index", float("nan")), ValueError, ["Index", "finite"]),
    (lambda n: n.set("CellShape", "Circle"), ValueError, ["CellShape", "Hexagon"]),
    (lambda n: n.set("Light", (1, 2, 0)), ValueError, ["Light", "0 to 1"]),
    (lambda n: n.set("Light", ("red", 0, 0)), TypeError, ["colour"]),
    (lambda n: n.set("Index", None), TypeError, ["NoneType"]),
    (lambda n: n.key("Cell Angle", 4, 999), ValueError, ["Cell Angle", "-360 to 360"]),
    (lambda n: n.key("Cell Angle", float("inf"), 9), ValueError, ["time"]),
    (lambda n: n.key("Cell Angle", 1e300, 9), ValueError, ["time", "1e9"]),  # a project could not hold it
    (lambda n: n.clear_keys("Bogus"), KeyError, ["Bogus"]),
]


@pytest.mark.parametrize("call,error,words", NOT_TAKEN)
def test_refused_settings_raise_and_change_nothing(call, error, words):
    node = trellin.Node()
    node.key("Cell Angle", 0, 10)
    before = node.controls
    with pytest.raises(error) as caught:
        call(node)
    for w in words:
        assert w in str(caught.value)
    assert node.controls == before


GOOD = np.zeros((4, 5, 3), np.uint8)
BAD_PICTURES = [
    (np.zeros((4, 5), np.uint8), TypeError, "(4, 5)"),
    (np.zeros((4, 5, 2), np.uint8), TypeError, "(4, 5, 2)"),
    (np.zeros((0, 5, 3), np.uint8), TypeError, "(0, 5, 3)"),
    (np.zeros((4, 5, 3), np.complex64), TypeError, "complex64"),
    (np.zeros((4, 5, 3), np.int16), TypeError, "int16"),
    (np.zeros((4, 5, 3), ">u2"), TypeError, "big-endian"),
    ([[[0, 0, 0]]], TypeError, "list"),
]


@pytest.mark.parametrize("picture,error,words", BAD_PICTURES)
def test_pictures_render_does_not_take(picture, error, words):
    for render in (trellin.Node().render, trellin.render):
        with pytest.raises(error, match=words.replace("(", r"\(").replace(")", r"\)")):
            render(picture)


@pytest.mark.parametrize("call,error,words", [
    (lambda: trellin.Node().render(GOOD, threads=0), ValueError, "1 to 1024"),
    (lambda: trellin.Node().render(GOOD, threads="2"), TypeError, "str"),
    (lambda: trellin.Node().render(GOOD, time=float("nan")), ValueError, "time"),
    (lambda: trellin.render(GOOD, cell_shapes="Square"), TypeError, "'cell_shapes' \\(did you mean \"cell_shape\""),
    (lambda: trellin.Node(cell_cout_x=3), TypeError, "did you mean \"cell_count_x\""),
    (lambda: trellin.render(GOOD, look=3), TypeError, "look"),
    (lambda: trellin.render(GOOD, look="lit-dome"), ValueError, "did you mean \"lit-domes\""),
    (lambda: trellin.render(GOOD, index=11), ValueError, "1 to 10"),
])
def test_render_arguments_refused(call, error, words):
    with pytest.raises(error, match=words):
        call()


def test_project_files_refused(tmp_path):
    node = trellin.Node()
    node["Index"] = 2.5
    with pytest.raises(FileNotFoundError, match="missing.json"):
        node.load_project(tmp_path / "missing.json")
    (tmp_path / "broken.json").write_text('{"controls": {"Index": 1.6,,}}')
    with pytest.raises(ValueError, match="line 1, column"):
        node.load_project(tmp_path / "broken.json")
    (tmp_path / "range.json").write_text(json.dumps({"controls": {"Index": 60}}))
    with pytest.raises(ValueError, match="Index"):
        node.load_project(str(tmp_path / "range.json"))
    assert node["Index"] == 2.5
    with pytest.raises(OSError, match="no-folder"):
        node.save_project(tmp_path / "no-folder" / "p.json")
    node.save_project(tmp_path / "p.json")
    other = trellin.Node()
    other.load_project(tmp_path / "p.json")
    assert other.controls == node.controls


def test_hostile_files_and_names_are_refused_in_one_bounded_line(tmp_path):
    node = trellin.Node()
    fifo = tmp_path / "fifo.json"
    os.mkfifo(fifo)
    with pytest.raises(OSError, match="not a regular file"):
        node.load_project(fifo)  # opening a pipe with no writer would wait for ever
    with pytest.raises(OSError, match="is a folder"):
        node.save_project("/")
    with pytest.raises(KeyError) as long_label:
        node["x" * 1000000] = 1
    assert len(str(long_label.value)) < 1200
    with pytest.raises(KeyError, match="after"):
        node["cut\0after"] = 1


def python(code, env=None, cwd=None):
    r = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, env=env, cwd=cwd,
                       timeout=120)
    assert r.returncode == 0, r.stdout + r.stderr
    return r.stdout.strip()


def test_import_loads_no_picture_library():
    loaded = python("import numpy, trellin; trellin.render(numpy.zeros((8, 8, 4), numpy.uint16)); "
                    "print(trellin.module_path); "
                    "print(sum('OpenImageIO' in line for line in open('/proc/self/maps')))")
    assert loaded.splitlines() == [str(BUILD_DIR / "bin" / "TrellinVx.node"), "0"]


def test_import_without_numpy_fails_and_says_numpy_is_needed():
    # sys.modules["numpy"] = None makes every import of NumPy fail, as in a
    # Python that has none.
    r = subprocess.run([sys.executable, "-c", "import sys; sys.modules['numpy'] = None; import trellin"],
                       capture_output=True, text=True, timeout=120)
    assert r.returncode != 0
    last = r.stderr.strip().splitlines()[-1]
    assert last.startswith("ImportError: trellin needs NumPy") and "python3-numpy" in last, r.stderr


def test_environment_the_effect_cannot_use_is_warned_of_on_import():
    for variable, value, said in [("TRELLIN_THREADS", "0", "not a processor count"),
                                  ("TRELLIN_THREADS", "1e3", "not a processor count"),
                                  ("TRELLIN_KERNELS", "bogus", "unknown kernels")]:
        env = {**os.environ, variable: value}
        caught = python("import warnings\n"
                        "with warnings.catch_warnings(record=True) as w:\n"
                        "    warnings.simplefilter('always')\n"
                        "    import trellin\n"
                        "print([(x.category.__name__, str(x.message)) for x in w])", env=env)
        assert "RuntimeWarning" in caught and f"{variable}={value}: {said}" in caught, caught


def test_installed_module_finds_its_effect(tmp_path):
    prefix = tmp_path / "prefix"
    plain_env = {k: v for k, v in os.environ.items() if k != "LD_PRELOAD"}  # no sanitizer in cmake
    r = subprocess.run([os.environ.get("TRELLIN_CMAKE", "cmake"), "--install", str(BUILD_DIR), "--prefix",
                        str(prefix)], capture_output=True, text=True, env=plain_env, timeout=120)
    assert r.returncode == 0, r.stdout + r.stderr
    env = {k: v for k, v in os.environ.items() if k not in ("PYTHONPATH", "TRELLIN_MODULE")}
    env["PYTHONPATH"] = str(prefix / os.environ["TRELLIN_PYTHON_DIR"])
    found = python("import numpy, trellin; trellin.render(numpy.zeros((8, 8, 3), numpy.uint8)); "
                   "print(trellin.module_path); trellin.Node().look('lit-domes'); print(len(trellin.looks()))",
                   env=env, cwd=tmp_path)
    assert found.splitlines() == [str(prefix / "lib" / "trellin" / "TrellinVx.node"), str(len(trellin.looks()))]
