#!/usr/bin/env python3
"""A plate through Trellin as a keyed sequence of OpenEXR files.

    PYTHONPATH=build/python /usr/bin/python3 apps/python/examples/glass_sequence.py \\
        plate.exr renders/glass.%04d.exr --frames 1-48

Reads the plate once with OpenImageIO, renders every frame through one node at
time = its frame number while the cells turn from 0 to 90 degrees and the
light sweeps from left to right, and writes each frame as a half-float EXR
(under a temporary name, renamed when complete).
"""
import argparse
import os

import numpy as np
import OpenImageIO as oiio

import trellin


def read_plate(path):
    """The plate as float32 RGB or RGBA (grey becomes RGB)."""
    buf = oiio.ImageBuf(path)
    pixels = buf.get_pixels(oiio.FLOAT)
    if buf.has_error or pixels is None:
        raise SystemExit(f"{path}: {buf.geterror() or 'cannot read'}")
    if pixels.shape[2] < 3:
        grey = pixels[:, :, :1].repeat(3, axis=2)
        return grey if pixels.shape[2] == 1 else np.dstack([grey, pixels[:, :, 1:2]])
    return pixels[:, :, :4]


def keyed_node(first, last):
    node = trellin.Node()
    node["CellShape"] = "Hexagon"
    node["Cell Count X"] = 16
    node["Light Active"] = True
    node.key("Cell Angle", first, 0)
    node.key("Cell Angle", last, 90)
    node.key("Light_X", first, 0.1)
    node.key("Light_X", last, 0.9)
    return node


def write_exr(path, frame):
    height, width, channels = frame.shape
    spec = oiio.ImageSpec(width, height, channels, oiio.HALF)
    folder, name = os.path.split(path)
    temporary = os.path.join(folder, f".{name}.tmp-{os.getpid()}.exr")
    out = oiio.ImageOutput.create(temporary)
    if out is None:
        raise SystemExit(f"{path}: {oiio.geterror()}")
    if not (out.open(temporary, spec) and out.write_image(frame) and out.close()):
        message = out.geterror()
        if os.path.exists(temporary):
            os.remove(temporary)
        raise SystemExit(f"{path}: {message}")
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("plate", help="the picture to render (any format OpenImageIO reads)")
    parser.add_argument("output", help="numbered output name, e.g. renders/glass.%%04d.exr")
    parser.add_argument("--frames", default="1-48", help="FIRST-LAST (default 1-48)")
    args = parser.parse_args()
    first, last = (int(f) for f in args.frames.split("-"))

    plate = read_plate(args.plate)
    node = keyed_node(first, last)
    for frame in range(first, last + 1):
        write_exr(args.output % frame, node.render(plate, time=frame))
        print(f"frame {frame}: {args.output % frame}")


if __name__ == "__main__":
    main()
