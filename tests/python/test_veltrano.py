"""The Python package against veltrano-batch: the same numbers bit for bit, the same
messages for bad input, and Ctrl-C that stops the work.

Run by ctest with PYTHONPATH naming the built package and VELTRANO_BATCH the program.
"""

import csv
import io
import json
import math
import os
import signal
import subprocess
import sys
import textwrap
import time

import numpy as np
import pandas as pd
import pytest

import veltrano

BATCH = os.environ["VELTRANO_BATCH"]
EXAMPLE_SHEET = os.path.join(os.environ["VELTRANO_EXAMPLES"], "exam-sheet.csv")

TABLES = """\
8 1 1
2 7 1
1 1 8

5 0 0
0 0 0
1 0 4

3 2
2 3

6 0 0 0
0 5 0 0
0 0 7 0
0 0 0 4
"""


def batch(*args, stdin=""):
    """Runs veltrano-batch; its standard output."""
    done = subprocess.run([BATCH, *args], input=stdin, capture_output=True, text=True, check=False)
    assert done.returncode in (0, 1), done.stderr
    return done.stdout, done.stderr


def same(a, b):
    """Equal doubles, NaN equal to NaN."""
    return (math.isnan(a) and math.isnan(b)) or a == b


def read_rows(path_or_text):
    text = path_or_text if "\n" in path_or_text else open(path_or_text, encoding="utf-8").read()
    return list(csv.DictReader(io.StringIO(text)))


def expect_frame_equals_rows(frame, rows):
    """Every cell of the frame is the command line's, read back at 17 digits."""
    assert list(frame.columns) == list(rows[0].keys())
    assert len(frame) == len(rows)
    for column in frame.columns:
        for i, row in enumerate(rows):
            cell, value = row[column], frame[column].iloc[i]
            if cell == "":
                assert pd.isna(value), (column, i)
            elif frame[column].dtype == object:
                assert value == cell, (column, i)
            elif str(frame[column].dtype) in ("Int64", "UInt64"):
                assert value == int(cell), (column, i)
            else:
                assert value == float(cell), (column, i)


def test_analyse_matches_the_command_line():
    out, _ = batch("analyse", "--json", "--ci", "-", stdin=TABLES)
    expected = [json.loads(line) for line in out.splitlines()]
    tables = [np.loadtxt(io.StringIO(block)) for block in TABLES.strip().split("\n\n")]
    for jobs in (1, 3):
        got = veltrano.analyse(tables, ci=True, jobs=jobs)
        for i, e in enumerate(expected):
            nan = float("nan")
            se = e["Delta_MV_SE"] if e["model_ok"] and e["Delta_MV_SE"] else nan
            assert same(got["du"][i], e["Delta_MV"] if e["Delta_MV"] is not None else nan)
            assert same(got["se_du"][i], se)
            assert same(got["ci_lower"][i], e["CI"][0] if e["CI"][0] is not None else nan)
            assert same(got["ci_upper"][i], e["CI"][1] if e["CI"][1] is not None else nan)
            assert same(got["dc"][i], e["Delta_KA"] if e["Delta_KA"] is not None else nan)
            assert same(got["dln"][i], e["DLN"])
            assert (got["code"][i], got["code2"][i]) == (e["code"], e["code2"])
            assert all(same(p, q if q is not None else nan) for p, q in zip(got["pi"][i], e["Pi"]))
    # One table, and tables of one size in one array, give the same numbers.
    one = veltrano.analyse(tables[0], ci=True)
    assert one["du"][0] == got["du"][0] and one["pi"].shape == (1, 3)
    stacked = veltrano.analyse(np.stack([tables[0], tables[0]]))
    assert stacked["pi"].shape == (2, 3) and stacked["du"][1] == got["du"][0]


@pytest.mark.parametrize("tables, message", [
    ([[[3, 1], [2.5, 4]]], "table 1: entry (2, 1) = 2.5 is not a whole number; an entry must be a count"),
    ([[[3, 1], [1, 4]], [[0, 0], [0, 0]]], "table 2: every entry is 0; a table needs a positive total"),
    ([[[1, 2, 3], [4, 5, 6]]], "tables must be a k x k array, an (m, k, k) array or a list of them"),
])
def test_bad_tables_raise_value_error(tables, message):
    with pytest.raises(ValueError) as raised:
        veltrano.analyse(tables)
    assert str(raised.value).startswith(message)


def test_simulate_matches_the_command_line(tmp_path):
    run = veltrano.simulate(15, 3, 20, 4, seed=5, dmax=40, step=10, ci=True, jobs=2)
    batch("simulate", "--seed", "5", "--n", "15", "--k", "3", "--do", "20", "--iterate", "--dmax", "40",
          "--step", "10", "--tests", "4", "--ci", "--data", str(tmp_path / "d"), "--points", str(tmp_path / "p"))
    points = list(csv.DictReader(open(tmp_path / "p")))
    series = {name: [float(p["y"]) for p in points if p["series"] == name]
              for name in ("sPoint_DSEM", "sPoint_Dcond", "sDLN")}
    do_star = [float(p["x"]) for p in points if p["series"] == "sDLN"]
    assert run["tables"].shape == (12, 3, 3)
    assert list(run["do"]) == [20] * 4 + [30] * 4 + [40] * 4
    assert list(run["do_star"]) == do_star
    assert list(run["du"]) == series["sPoint_DSEM"]
    assert list(run["dc"]) == series["sPoint_Dcond"]
    assert list(run["dln"]) == series["sDLN"]
    # The tables are the data lines' cells; analysed again, they give the run's estimates.
    lines = [line.split("\t") for line in open(tmp_path / "d").read().splitlines()[1:]]
    assert [[int(c) for c in line[1:10]] for line in lines] == run["tables"].reshape(12, 9).tolist()
    again = veltrano.analyse(run["tables"], ci=True)
    for key in ("du", "se_du", "ci_lower", "ci_upper", "dc", "se_dc", "dln"):
        assert all(same(a, b) for a, b in zip(again[key], run[key])), key


# A philox seed beyond 2^63: it passes the int64 columns a seed might wrongly be kept in.
BIG_SEED = 2**64 - 59


@pytest.mark.parametrize("generator, seed", [("philox", BIG_SEED), ("philox", 2**32 + 9), ("lcg", 9)])
def test_study_matches_the_command_line(tmp_path, generator, seed):
    summary, tests = veltrano.study(n=[10, 20], k="2:3", do=[0, 50], replications=40, seed=seed,
                                    generator=generator, ci=True, tests=True, jobs=2)
    batch("study", "--generator", generator, "--n", "10,20", "--k", "2:3", "--do", "0,50", "--replications", "40",
          "--seed", str(seed), "--ci", "--out", str(tmp_path / "s.csv"), "--tests-out", str(tmp_path / "t.csv"),
          "--quiet")
    expect_frame_equals_rows(summary, read_rows(str(tmp_path / "s.csv")))
    expect_frame_equals_rows(tests, read_rows(str(tmp_path / "t.csv")))
    assert (summary.attrs["seed"], summary.attrs["generator"]) == (seed, generator)


@pytest.mark.parametrize("generator", ["philox", "lcg"])
def test_a_clock_seed_is_the_one_reported(generator):
    first = veltrano.study(n=10, k=3, do=50, replications=20, generator=generator)
    seed = first.attrs["seed"]
    assert (seed >= 2**32) == (generator == "philox")  # a 64-bit clock seed for philox (wrong once in 2^32)
    pd.testing.assert_frame_equal(veltrano.study(n=10, k=3, do=50, replications=20, seed=seed, generator=generator),
                                  first)


@pytest.mark.parametrize("generator, seed", [("philox", BIG_SEED), ("lcg", 4)])
def test_designs_and_shards_give_the_whole_study(tmp_path, generator, seed):
    grid = dict(n=[10, 20], k=4, do=[20, 60], replications=30, seed=seed, generator=generator)
    whole = veltrano.study(**grid)
    design = pd.DataFrame({"n": [10, 10, 20, 20], "k": [4] * 4, "do": [20, 60, 20, 60]})
    pd.testing.assert_frame_equal(
        veltrano.study(design=design, replications=30, seed=seed, generator=generator), whole)
    parts = [veltrano.study(**grid, shard=(i, 3)) for i in (3, 1, 2)]
    pd.testing.assert_frame_equal(veltrano.merge(parts), whole)
    # Shards written by the command line merge alike.
    for i in (1, 2):
        batch("study", "--generator", generator, "--n", "10,20", "--k", "4", "--do", "20,60", "--replications",
              "30", "--seed", str(seed), "--shard", f"{i}/2", "--out", str(tmp_path / f"part{i}.csv"), "--quiet")
    pd.testing.assert_frame_equal(veltrano.merge([tmp_path / "part2.csv", tmp_path / "part1.csv"]), whole)
    assert veltrano.merge(parts).attrs == whole.attrs
    with pytest.raises(ValueError, match="condition"):
        veltrano.merge(parts[:2])
    # A file's name alone is one shard, not the letters of its name.
    with pytest.raises(ValueError, match="condition"):
        veltrano.merge(str(tmp_path / "part1.csv"))


def test_a_callable_follows_the_study():
    seen = []
    veltrano.study(n=10, k=3, do="0:90:30", replications=50, seed=1, jobs=1, progress=lambda *p: seen.append(p))
    assert seen and seen[-1] == (4, 4, 200, 200)


def test_marks_keep_their_ids_whatever_the_frame_index():
    marks = pd.DataFrame({"id": ["KEY", "ana", "bo"], "q1": ["A", "A", pd.NA], "q2": ["B", "A", "B"]},
                         dtype="string")
    got = veltrano.analyse_responses(marks.iloc[[0, 2, 1]])  # sorted: the index is no longer 0, 1, 2
    assert list(got["id"]) == ["bo", "ana", "ALL"]
    assert list(got["omitted"]) == [1, 0, 1]  # pandas' NA is an omission, as None and NaN are


def test_responses_match_the_command_line(tmp_path):
    out, err = batch("analyse", "--responses", EXAMPLE_SHEET, "--ci", "--out", str(tmp_path / "r.csv"))
    rows = read_rows(str(tmp_path / "r.csv"))
    from_file = veltrano.analyse_responses(EXAMPLE_SHEET, ci=True, jobs=2)
    expect_frame_equals_rows(from_file, rows)
    favoured = [line.removeprefix("veltrano-batch: ") for line in err.splitlines()]
    assert from_file.attrs["favoured"] == (favoured or None)
    # The marks as a data frame (ids in the first column), the key among the rows.
    marks = pd.read_csv(EXAMPLE_SHEET, dtype=str, keep_default_na=False)
    pd.testing.assert_frame_equal(veltrano.analyse_responses(marks, ci=True), from_file)


@pytest.mark.parametrize("call, error, message", [
    (lambda: veltrano.analyse_responses("/no/such/sheet.csv"), OSError, "cannot read /no/such/sheet.csv"),
    (lambda: veltrano.analyse_responses([["KEY", "A", "B"], ["ana", "A", "Z"]]), ValueError,
     'the sheet: line 2, column 3: "Z" is not an alternative'),
    (lambda: veltrano.analyse_responses([["KEY", "A", "B"], ["ana", "A", "E"]]), ValueError,
     "give k=5 if the items have 5 alternatives"),
    # A value out of range is worded as the command line words it, the argument spelt as
    # Python spells it.
    (lambda: veltrano.simulate(0, 4, 50, 10, seed=1), ValueError,
     "n: 0 is out of range; the value must be from 1 to 100000"),
    (lambda: veltrano.analyse([[1, 2], [3, 4]], max_iterations=0), ValueError,
     "max_iterations: 0 is out of range; the value must be from 1 to 1000"),
    (lambda: veltrano.study(n="10,,20"), ValueError, 'n: "10,,20" has an empty entry'),
    (lambda: veltrano.study(n=10, shard=(3, 2)), ValueError, 'shard: "3/2": I must be from 1 to N (2)'),
    (lambda: veltrano.study(n=10, shard=(1, 2.6)), ValueError, 'shard: "1/2.6" is not I/N'),
    (lambda: veltrano.study(n=10, replications=2.5), ValueError, 'replications: "2.5" is not a whole number'),
    (lambda: veltrano.study(n=10, generator="Philox"), ValueError, 'generator: "Philox" is neither philox nor lcg'),
    (lambda: veltrano.study(n=10, generator="lcg", seed=2**32), ValueError,
     "seed: 4294967296 is out of range; the lcg generator takes seeds from 0 to 4294967295"),
    (lambda: veltrano.study(n=10, seed=2**64), ValueError,
     "seed: 18446744073709551616 is out of range; the value must be from 0 to 18446744073709551615"),
    (lambda: veltrano.simulate(10, 4, 50, 10, seed=2**32), ValueError,
     "seed: 4294967296 is out of range; the lcg generator takes seeds from 0 to 4294967295"),
    # A value of the wrong type is a TypeError naming the argument.
    (lambda: veltrano.study(n=10, seed=True), TypeError, "seed must be a whole number, not True"),
    (lambda: veltrano.study(n=10, jobs="2"), TypeError, "jobs must be a whole number (got str)"),
    (lambda: veltrano.study(n=10, ci=1), TypeError, "ci must be True or False (got 1)"),
])
def test_errors_name_what_is_wrong(call, error, message):
    with pytest.raises(error) as raised:
        call()
    assert message in str(raised.value)


def test_ctrl_c_stops_the_work_and_raises_keyboard_interrupt():
    script = textwrap.dedent("""
        import sys, threading, veltrano
        print("started", flush=True)
        try:
            veltrano.study(n=[100, 200], k="2:10", do="0:100:1", replications=100000, seed=1, jobs=2)
        except KeyboardInterrupt:
            print("interrupted", threading.active_count(), flush=True)
    """)
    child = subprocess.Popen([sys.executable, "-c", script], stdout=subprocess.PIPE, text=True, env=os.environ)
    assert child.stdout.readline().strip() == "started"
    time.sleep(1.0)
    asked = time.monotonic()
    child.send_signal(signal.SIGINT)
    out, _ = child.communicate(timeout=30)
    assert out.split() == ["interrupted", "1"]  # no thread of the study left
    assert time.monotonic() - asked < 5
