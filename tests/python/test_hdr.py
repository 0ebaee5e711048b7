# Float arrays outside 0..1: split by default (the look within 0..1 bit for bit as with
# hdr="none", highlights kept), clipped and counted in a warning with hdr="none", and far-out,
# infinite and NaN samples counted without leaking into the result.
import warnings

import numpy as np
import pytest

import trellin

SETTINGS = dict(cell_size=0.2, white_height=40, light_active=True, back_bright=70, chromatic_ab=40)


def node(hdr=None):
    n = trellin.Node() if hdr is None else trellin.Node(hdr=hdr)
    for name, value in SETTINGS.items():
        n[name] = value
    return n


def plate(dtype, peak=None):
    y, x = np.mgrid[0:40, 0:56]
    p = np.stack([0.5 + 0.5 * np.sin(0.13 * x + 0.07 * y), y / 39, x / 55, np.ones_like(x)], axis=-1)
    if peak is not None:
        sun = np.hypot(x - 30, y - 18) < 7
        p[sun, :3] = peak
    return p.astype(dtype)


@pytest.mark.parametrize("dtype", [np.float32, np.float16])
def test_within_unit_range_renders_as_none_and_warns_nothing(dtype):
    picture = plate(dtype)
    with warnings.catch_warnings():
        warnings.simplefilter("error")
        split = node().render(picture)
        assert node().hdr == "auto"
        np.testing.assert_array_equal(split, node().render(picture, hdr="none"))
        np.testing.assert_array_equal(split, trellin.render(picture, hdr="split", **SETTINGS))


def test_highlights_are_kept_or_clipped_and_counted():
    picture = plate(np.float32, peak=12.0)
    above = int((picture[..., :3] > 1).sum())
    kept = node().render(picture)
    assert kept.max() > 4  # 12, dimmed to 70 % and spread by the glass
    with pytest.warns(UserWarning, match=rf"{above} of {picture[..., :3].size} samples lay outside 0\.\.1 "
                                         r"\(lowest 12, highest 12\) and were clipped"):
        clipped = node("none").render(picture)
    assert clipped.max() <= 1
    # Where the highlight does not reach, the look is the plain render's.
    far = (kept == clipped)
    assert far.mean() > 0.5
    assert (kept >= clipped).all()
    with pytest.warns(UserWarning, match="hdr='log'"):
        node().render(np.full((8, 8, 3), 5000, np.float32), hdr="log")


@pytest.mark.parametrize("dtype", [np.float32, np.float16])
def test_far_out_and_non_finite_samples_are_counted(dtype):
    picture = plate(dtype)
    picture[1, :6, 0] = [1e6 if dtype == np.float32 else 65504, 65504, -3, np.nan, np.inf, -np.inf]
    with pytest.warns(UserWarning, match=r"3 of \d+ samples lay outside what hdr='split' carries"):
        out = node().render(picture)
    assert np.isfinite(out).all()
    assert out.max() > 1000


def test_alpha_outside_unit_range_is_clipped_and_counted_apart_from_colour():
    picture = plate(np.float32)
    picture[..., 3] = np.linspace(1, 3, picture.shape[1], dtype=np.float32)[None, :]
    outside = int((picture[..., 3] > 1).sum())
    for hdr in ("log", "split", "none"):
        with pytest.warns(UserWarning) as caught:
            out = node().render(picture, hdr=hdr)
        text = " ".join(str(w.message) for w in caught)
        assert f"{outside} of {picture[..., 3].size} alpha samples lay outside 0..1 (lowest 1." in text, text
        assert "hdr=" not in text and text.count("samples lay outside") == 1, text  # no colour clipped
        assert 0 <= out[..., 3].min() and out[..., 3].max() <= 1


def test_float64_beyond_float32_is_told_from_samples_that_are_no_numbers():
    picture = plate(np.float64)
    picture[2, 3, 0] = 1e300
    picture[2, 4, 1] = np.nan
    with pytest.warns(UserWarning, match=r"\(1 NaN or infinite, 1 beyond the range of float32 \(3\.40282e\+38\)"):
        out = node().render(picture)
    assert np.isfinite(out).all()


def test_bad_modes_are_refused():
    with pytest.raises(ValueError, match="unknown mode"):
        trellin.Node(hdr="bright")
    with pytest.raises(TypeError, match="hdr"):
        node().render(plate(np.float32), hdr=1)
    n = trellin.Node(hdr="none")
    assert n.hdr == "none"
    n.hdr = "split"
    assert n.hdr == "split"
