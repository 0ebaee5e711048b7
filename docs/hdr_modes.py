#!/usr/bin/env python3
"""Draws docs/hdr-modes.jpg: one sunset plate through the same glass under
--hdr none, split and log, side by side, with the highlights rolled off for
the screen (x / (1 + x / 4), then sRGB). Prints each render's largest and
mean value beside the plate's.

    PYTHONPATH=build/python /usr/bin/python3 docs/hdr_modes.py docs/hdr-modes.jpg
"""
import sys
import warnings

import numpy as np
import OpenImageIO as oiio

import trellin

W, H = 320, 200


def sunset():
    y, x = np.mgrid[0:H, 0:W].astype(np.float32)
    horizon = 0.62 * H
    sky = np.where(y < horizon, 0.1 + 0.8 * y / horizon, 0.05 + 0.25 * (H - y) / (H - horizon))
    plate = np.stack([sky, sky * 0.6, sky * 0.35, np.ones_like(sky)], axis=-1)
    d = np.hypot(x - 0.55 * W, y - horizon + 12)
    sun = np.clip(1 - d / 30, 0, 1)
    plate[..., 0] += 40 * sun**2 * (d < 30)
    plate[..., 1] += 32 * sun**2 * (d < 30)
    plate[..., 2] += 20 * sun**2 * (d < 30)
    # Glints on the water.
    for gx, gy in [(150, 160), (190, 172), (170, 185), (210, 150)]:
        plate[gy - 1:gy + 2, gx - 3:gx + 4, :3] = 6
    return plate.astype(np.float32)


def node():
    n = trellin.Node()
    for name, value in dict(cell_shape="Hexagon", cell_count_x=16, cell_count_y=10, cell_size=0.2, white_height=40,
                            index=1.5, light_active=True, back_bright=85, gloss=300, brightness=60).items():
        n[name] = value
    return n


def shown(picture):
    rolled = picture[..., :3] / (1 + np.maximum(picture[..., :3], 0) / 4)
    rolled = np.clip(rolled, 0, 1)
    srgb = np.where(rolled <= 0.0031308, 12.92 * rolled, 1.055 * rolled ** (1 / 2.4) - 0.055)
    return srgb


def main():
    plate = sunset()
    rows = [("plate", plate)]
    for mode in ("none", "split", "log"):
        with warnings.catch_warnings():
            warnings.simplefilter("ignore")
            rows.append((mode, node().render(plate, hdr=mode)))
    # The none render warns of the samples it clips; the figures below say as much.
    for name, p in rows:
        c = p[..., :3]
        print(f"{name:6s} max {c.max():8.3f}  mean {c.mean():.4f}  min {c.min():.4f}")
    gap = np.ones((H, 4, 3), np.float32)
    strip = np.concatenate(sum([[shown(p), gap] for _, p in rows[1:]], [])[:-1], axis=1)
    out = oiio.ImageOutput.create(sys.argv[1])
    layout = oiio.ImageSpec(strip.shape[1], strip.shape[0], 3, oiio.UINT8)
    layout.attribute("Compression", "jpeg:85")
    if not (out.open(sys.argv[1], layout) and out.write_image(strip) and out.close()):
        raise SystemExit(out.geterror())


if __name__ == "__main__":
    main()
