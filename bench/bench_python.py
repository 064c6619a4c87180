#!/usr/bin/python3
"""The Python package's speed against the C++ beneath it, measured in the same run.

  PYTHONPATH=build/python /usr/bin/python3 bench/bench_python.py build/src/batch/veltrano-batch

- analyse: 10^6 tables of k = 4 (the tests of a seeded run, n = 100, Do 0..99) from one
  numpy array, on one thread, against a plain C++ loop over the same tables
  (Create, Configure, Execute per table) on one thread.
- study: a grid of 66 conditions, against `veltrano-batch study` with the same options,
  both on every core; tests per second.
Each figure is the best of three, the two measured one after the other each time.
"""
import subprocess
import sys
import time

import veltrano


def best(times):
    return min(times)


def main():
    batch = sys.argv[1] if len(sys.argv) > 1 else "build/src/batch/veltrano-batch"
    run = veltrano.simulate(100, 4, 0, 10000, seed=1, dmax=99, step=1)
    tables = run["tables"].astype("float64")
    print(f"analyse: {len(tables)} tables of k = 4")
    py, loop = [], []
    for _ in range(3):
        start = time.perf_counter()
        veltrano.analyse(tables, jobs=1)
        py.append(time.perf_counter() - start)
        loop.append(veltrano._veltrano.analyse_loop_seconds(tables))
    print(f"  veltrano.analyse, one thread: {best(py):.3f} s; the C++ loop: {best(loop):.3f} s; "
          f"ratio {best(py) / best(loop):.3f}")
    start = time.perf_counter()
    veltrano.analyse(tables)
    print(f"  veltrano.analyse, every core: {time.perf_counter() - start:.3f} s")

    grid = dict(n=[20, 50, 100], k=[2, 4], do="0:100:10", replications=4000, seed=7)
    tests = 3 * 2 * 11 * grid["replications"]
    args = [batch, "study", "--n", "20,50,100", "--k", "2,4", "--do", "0:100:10", "--replications",
            str(grid["replications"]), "--seed", "7", "--quiet", "--out", "/dev/null"]
    py, cli = [], []
    for _ in range(3):
        start = time.perf_counter()
        veltrano.study(**grid)
        py.append(time.perf_counter() - start)
        start = time.perf_counter()
        subprocess.run(args, check=True)
        cli.append(time.perf_counter() - start)
    print(f"study: {tests} tests, every core")
    print(f"  veltrano.study: {tests / best(py):,.0f} tests/s; veltrano-batch study: {tests / best(cli):,.0f} tests/s; "
          f"time ratio {best(py) / best(cli):.3f}")


if __name__ == "__main__":
    main()
