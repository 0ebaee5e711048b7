# test-labels: threaded
# Renders from several Python threads: separate nodes (each on its own
# processor count) render side by side exactly as they do one after the
# other, a node shared by two threads serves them in turn, and a render lets
# other Python threads run.
import threading
import time

import numpy as np

import trellin
from conftest import LOOK, test_picture


def keyed_node(look):
    node = trellin.Node()
    for label, value in look.items():
        node[label] = value
    node.key("Cell Angle", 0, 0)
    node.key("Cell Angle", 10, 60)
    return node


OTHER_LOOK = {"CellShape": "Octagon", "Cell Count X": 4, "Index": 2.2, "Edge": "Wrap", "ChromaticAb": 80}
TIMES = [0, 3, 7, 10]


def in_threads(jobs):
    """Runs the jobs at once, one thread each; their results in order."""
    results = [None] * len(jobs)
    start = threading.Barrier(len(jobs))

    def run(i):
        start.wait()
        results[i] = jobs[i]()

    threads = [threading.Thread(target=run, args=(i,)) for i in range(len(jobs))]
    for t in threads:
        t.start()
    for t in threads:
        t.join()
    return results


def test_nodes_in_threads_render_as_one_after_the_other():
    picture = test_picture(90, 120, 4, np.uint16)
    looks = [(LOOK, 1), (OTHER_LOOK, 3)]

    def renders(node, threads):
        return [node.render(picture, time=t, threads=threads) for t in TIMES]

    alone = [renders(keyed_node(look), threads) for look, threads in looks]
    side_by_side = in_threads([lambda look=look, n=n: renders(keyed_node(look), n) for look, n in looks])
    shared = keyed_node(LOOK)
    in_turn = in_threads([lambda: renders(shared, 1), lambda: renders(shared, 2)])
    for got, expected in [(side_by_side[0], alone[0]), (side_by_side[1], alone[1]),
                          (in_turn[0], alone[0]), (in_turn[1], alone[0])]:
        for t, g, e in zip(TIMES, got, expected):
            np.testing.assert_array_equal(g, e, err_msg=f"time {t}")


def test_python_runs_during_a_render():
    node = keyed_node({**LOOK, "Smoothing": 10, "ChromaticAb": 120})
    # A picture that takes long enough to render here to tell a pause from a tick.
    height, width = 68, 120
    while True:
        picture = test_picture(height, width, 4, np.float32)
        took = time.perf_counter()
        node.render(picture, threads=1)
        if time.perf_counter() - took > 0.3 or height > 2000:
            break
        height, width = height * 2, width * 2
    span = []

    def render():
        span.append(time.perf_counter())
        node.render(picture, threads=1)
        span.append(time.perf_counter())

    worker = threading.Thread(target=render)
    ticks = []
    worker.start()
    while worker.is_alive():
        ticks.append(time.perf_counter())
    worker.join()
    start, end = span
    during = [start] + [t for t in ticks if start < t < end] + [end]
    longest_pause = max(b - a for a, b in zip(during, during[1:]))
    assert longest_pause < (end - start) / 2, f"Python stopped for {longest_pause:.2f} s of {end - start:.2f} s"
