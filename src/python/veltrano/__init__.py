"""Veltrano: how well the delta model measures an examinee's degree of knowledge.

The functions run the same work as ``veltrano-batch`` and give the same numbers, bit for
bit, as numpy arrays and pandas data frames:

- :func:`analyse` fits the delta model to k x k tables of counts;
- :func:`simulate` makes the tests of a run, as ``veltrano-batch simulate --seed`` does;
- :func:`study` runs a simulation study, as ``veltrano-batch study`` does;
- :func:`merge` joins the shards of a study, as ``veltrano-batch study merge`` does;
- :func:`analyse_responses` analyses every examinee of an exam's answer sheet, as
  ``veltrano-batch analyse --responses`` does.

Work runs on every core (``jobs=`` to choose) without holding the GIL; Ctrl-C ends it
after the test, condition or table under way and raises KeyboardInterrupt. A value of the
wrong type raises TypeError; a value out of range, or bad input, ValueError with the command
line's message, naming the argument ("seed: 4294967296 is out of range ..."); a file that
cannot be read, OSError. Ranges and defaults are those of the command line (``settings()``).
"""

from __future__ import annotations

import csv as _csv
import io as _io
import os as _os
import sys as _sys
from typing import Any, Iterable, Optional, Sequence, Tuple, Union

import numpy as _np

from . import _veltrano as _core

try:  # pandas is optional: without it frames are dicts of arrays
    import pandas as _pd
except ImportError:  # pragma: no cover - Debian's test machines have pandas
    _pd = None

__version__: str = _core.__version__

__all__ = ["analyse", "simulate", "study", "merge", "analyse_responses", "settings", "__version__"]


def settings() -> list:
    """Every setting's name (as the command line's option), range, default and help: the
    one table the command line, the page and this package read their ranges and defaults
    from. A default of None is not a number (the clock's seed, every core)."""
    return _core.settings()


_DEFAULT = {s["name"]: s["default"] for s in _core.settings()}


def _text(name: str, value: Any) -> str:
    """A whole-number argument as the text the checks read: a Python or numpy integer's
    digits, a float's digits when it is whole (its repr otherwise, which the checks refuse).
    Any other type, bools among them, raises TypeError naming the argument."""
    if isinstance(value, (bool, _np.bool_)):
        raise TypeError(f"{name} must be a whole number, not {value!r}")
    if isinstance(value, (int, _np.integer)):
        return str(int(value))
    if isinstance(value, (float, _np.floating)):
        v = float(value)
        return str(int(v)) if v.is_integer() and abs(v) < 2.0 ** 53 else repr(v)
    raise TypeError(f"{name} must be a whole number (got {type(value).__name__})")


def _switch(name: str, value: Any) -> str:
    if not isinstance(value, (bool, _np.bool_)):
        raise TypeError(f"{name} must be True or False (got {value!r})")
    return "1" if value else "0"


def _settings(numbers: dict, switches: dict = None) -> dict:
    """The settings' texts by the settings' names (the arguments' names with '-' for '_'),
    leaving out those not given (None)."""
    out = {}
    for name, value in numbers.items():
        if value is not None:
            out[name.replace("_", "-")] = _text(name, value)
    for name, value in (switches or {}).items():
        out[name.replace("_", "-")] = _switch(name, value)
    return out

_ESTIMATE_KEYS = ("du", "se_du", "ci_lower", "ci_upper", "dc", "se_dc", "dln", "code", "code2")


def _estimates(raw: dict) -> dict:
    """The estimate columns of the compiled core as the user sees them."""
    out = {key: raw[key] for key in _ESTIMATE_KEYS}
    ks = raw["k"]
    if len(ks) and (ks == ks[0]).all():
        out["pi"] = raw["pi"].reshape(len(ks), int(ks[0]))
    elif len(ks):
        bounds = _np.cumsum(ks)[:-1]
        out["pi"] = list(_np.split(raw["pi"], bounds))
    else:
        out["pi"] = _np.empty((0, 0))
    out["error"] = raw["error"]
    return out


def analyse(tables: Any, *, ci: bool = False, tolerance: int = _DEFAULT["tolerance"],
            max_iterations: int = _DEFAULT["max-iterations"], jobs: Optional[int] = None) -> dict:
    """Fits the delta model to observed tables, as ``veltrano-batch analyse --json`` does.

    tables: one k x k array of counts, an (m, k, k) array, or a list of square arrays
        (k from 2 to 10; whole, non-negative counts; a positive total of at most 10^9).
        A table breaking a rule raises ValueError naming it and the entry.
    ci: compute the 95 % test-inversion interval of Du.
    tolerance, max_iterations: the iterations' tolerance 10^-tolerance and limit.
    jobs: threads (default every core); the numbers are the same for any number.

    Returns a dict of arrays of length m: ``du`` (the maximum-likelihood estimate),
    ``se_du``, ``ci_lower``, ``ci_upper``, ``dc`` (the conditioned estimate), ``se_dc``,
    ``dln`` (D Lord & Novick), ``code``, ``code2`` (the problem codes of the table and of the
    table plus 0.5), ``pi`` (the guessing probabilities: an (m, k) array, or a list of arrays
    when the k differ) and ``error`` (None, or the message of an analysis that failed). NaN
    where a value is undefined (a standard error is undefined where the fitted model fails
    its check).
    """
    given = _settings({"tolerance": tolerance, "max_iterations": max_iterations, "jobs": jobs}, {"ci": ci})
    cells = None
    try:
        cells = _np.asarray(tables, dtype=_np.float64)
    except (ValueError, TypeError):
        if not isinstance(tables, (list, tuple)):
            raise
    if cells is None:  # tables of different sizes
        arrays = [_np.asarray(t, dtype=_np.float64) for t in tables]
        for i, a in enumerate(arrays):
            if a.ndim != 2 or a.shape[0] != a.shape[1]:
                raise ValueError(f"table {i + 1}: a table must be a square array (got shape {a.shape})")
        raw = _core.analyse_list([a.ravel().tolist() for a in arrays], [a.shape[0] for a in arrays], given)
        return _estimates(raw)
    if cells.ndim == 2:
        cells = cells[_np.newaxis]
    if cells.ndim != 3 or cells.shape[1] != cells.shape[2]:
        raise ValueError(f"tables must be a k x k array, an (m, k, k) array or a list of them (got shape {cells.shape})")
    return _estimates(_core.analyse_array(_np.ascontiguousarray(cells), given))


def simulate(n: int, k: int, do: int, tests: int, *, seed: int, ci: bool = False, dmax: Optional[int] = None,
             step: Optional[int] = None, tolerance: int = _DEFAULT["tolerance"],
             max_iterations: int = _DEFAULT["max-iterations"], jobs: Optional[int] = None) -> dict:
    """Makes and analyses the tests of a run, as ``veltrano-batch simulate --seed`` does.

    n: items per test (1 to 100000); k: alternatives per item (2 to 10); do: the degree of
    knowledge in percent (0 to 100), the first one when dmax or step is given; tests: tests
    per degree (1 to 10000); seed: the generator's state before the first draw (0 to
    4294967295). dmax, step: walk the degrees do, do + step, ... up to dmax (as the window's
    "Iterate"; step 10 unless given). ci, tolerance, max_iterations, jobs: as for analyse.

    Returns a dict: ``tables`` (an (N, k, k) int array, each test's observed table), ``do``
    (each test's degree in percent), ``do_star`` (its realised degree of knowledge, the truth)
    and the keys of :func:`analyse`.
    """
    given = _settings({"n": n, "k": k, "do": do, "tests": tests, "seed": seed, "dmax": dmax, "step": step,
                       "tolerance": tolerance, "max_iterations": max_iterations, "jobs": jobs}, {"ci": ci})
    if dmax is not None or step is not None:
        given["iterate"] = "1"
    raw = _core.simulate(given)
    out = {"tables": raw["tables"], "do": raw["do"], "do_star": raw["do_star"]}
    out.update(_estimates(raw))
    return out


def _values_text(values: Any, name: str) -> Optional[str]:
    """A list option as the command line takes it: "10,20", "0:100:10"."""
    if values is None:
        return None
    if isinstance(values, str):
        return values
    if _np.isscalar(values):
        values = [values]
    texts = []
    for v in values:
        texts.append(v if isinstance(v, str) else _text(name, v))
    return ",".join(texts)


def _frame(columns: list, index_name: Optional[str] = None):
    """A data frame (or, without pandas, a dict of arrays) of the core's columns."""
    data = {}
    for name, kind, values, present in columns:
        if kind == "count":
            if _pd is not None:
                data[name] = _pd.arrays.IntegerArray(values, ~present)
            else:
                data[name] = _np.where(present, values, _np.nan) if not present.all() else values
        elif kind == "text":
            data[name] = [v if p else None for v, p in zip(values, present)]
            if _pd is None:
                data[name] = _np.array(data[name], dtype=object)
        else:
            data[name] = values
    if _pd is None:
        return data
    return _pd.DataFrame(data)


class _Progress:
    """A progress bar of a study: tqdm when installed, otherwise a line on standard error."""

    def __init__(self):
        self._bar = None
        self._line = False
        try:
            from tqdm import tqdm
        except ImportError:  # pragma: no cover
            return
        # Made before the work starts, so that its rate counts from there.
        self._bar = tqdm(total=None, unit="tests", unit_scale=True, desc="study")

    def __call__(self, conditions_done, conditions_total, tests_done, tests_total):
        if self._bar is not None:
            if self._bar.total != tests_total:
                self._bar.total = tests_total
            self._bar.update(tests_done - self._bar.n)
            self._bar.set_postfix_str(f"{conditions_done} of {conditions_total} conditions")
        else:
            self._line = True
            _sys.stderr.write(f"\r{conditions_done} of {conditions_total} conditions, "
                              f"{tests_done} of {tests_total} tests")
            _sys.stderr.flush()

    def close(self):
        if self._bar is not None:
            self._bar.close()
        elif self._line:
            _sys.stderr.write("\n")


def _design(design: Any) -> Tuple[Optional[str], Optional[str]]:
    """A design as a path, or as the text of a design file."""
    if design is None:
        return None, None
    if isinstance(design, (str, _os.PathLike)):
        return _os.fspath(design), None
    columns = {str(c).lower(): c for c in design.keys()}
    missing = [c for c in ("n", "k", "do") if c not in columns]
    if missing:
        raise ValueError(f"design: no column {', '.join(missing)}; a design has the columns n, k and do")
    n, k, d = (list(design[columns[c]]) for c in ("n", "k", "do"))
    lines = ["n,k,do"] + [f"{_whole(a)},{_whole(b)},{_whole(c)}" for a, b, c in zip(n, k, d)]
    return None, "\n".join(lines) + "\n"


def _whole(value: Any) -> str:
    try:
        if float(value) == int(value):
            return str(int(value))
    except (TypeError, ValueError):
        pass
    return str(value)


def study(n: Any = None, k: Any = None, do: Any = None, *, design: Any = None,
          replications: int = _DEFAULT["replications"], seed: Optional[int] = None, generator: str = "philox",
          ci: bool = False, tolerance: int = _DEFAULT["tolerance"], max_iterations: int = _DEFAULT["max-iterations"],
          jobs: Optional[int] = None, shard: Optional[Tuple[int, int]] = None, tests: bool = False,
          progress: Any = False):
    """Runs a simulation study, as ``veltrano-batch study`` does.

    n, k, do: the conditions, every combination of the three: numbers, lists, or the
        command line's texts ("10,20,50", "2:5", "0:100:10"); a missing one takes the
        window's default (n 100, k 3, do 50).
    design: instead of n, k and do, the conditions themselves: a data frame (or dict) with
        the columns n, k and do, or the path of a design file.
    replications: tests per condition (1 to 10^7).
    seed: the study's seed: with philox any int from 0 to 2^64 - 1, with lcg 0 to
        2^32 - 1; default from the clock. The seed used is ``df.attrs["seed"]``.
    generator: "philox" (the default: every replication draws from a stream of its own) or
        "lcg" (the generator of :func:`simulate`: each condition draws from a seed of its
        own, and ``simulate(seed=<the row's seed>)`` with its n, k and do makes its tests),
        as ``study --generator``; in ``df.attrs["generator"]``.
    ci, tolerance, max_iterations: the analysis, as for :func:`analyse`.
    jobs: threads (default every core); the rows are the same for any number.
    shard: (i, N) runs the conditions whose number is i modulo N; join the shards with
        :func:`merge`.
    tests: also return every test's row. progress: True shows a progress bar (tqdm when
        installed, otherwise a line on standard error); a callable is called with
        (conditions done, conditions, tests done, tests) as the study goes.

    Returns a pandas DataFrame with exactly the columns of ``study --out``, in their order:
    one row per condition and estimator (Du, Dc, DLN), NaN for an empty cell, counts as
    nullable Int64, the seeds (``seed``, ``study_seed``) as nullable UInt64, ``estimator``
    and ``study`` as text, and a philox study's last column ``generator`` ("philox"); with
    ``tests=True`` a pair (summary, test rows in the columns of ``--tests-out``). Without
    pandas, dicts of arrays.
    """
    if not isinstance(generator, str):
        raise TypeError(f'generator must be "philox" or "lcg" (got {generator!r})')
    design_path, design_text = _design(design)
    given = _settings({"replications": replications, "seed": seed, "tolerance": tolerance,
                       "max_iterations": max_iterations, "jobs": jobs}, {"ci": ci})
    given["generator"] = generator
    for name, values in (("n", n), ("k", k), ("do", do)):
        text = _values_text(values, name)
        if text is not None:
            given[name] = text
    if shard is not None:
        if isinstance(shard, str):
            given["shard"] = shard
        elif isinstance(shard, (tuple, list)) and len(shard) == 2:
            given["shard"] = f"{_text('shard', shard[0])}/{_text('shard', shard[1])}"
        else:
            raise TypeError(f"shard must be (i, N) or \"i/N\" (got {shard!r})")
    if callable(progress):
        bar, report = None, progress
    else:
        bar = _Progress() if _switch("progress", progress) == "1" else None
        report = bar
    try:
        summary, test_rows, used_seed = _core.study(given, design_path, design_text, _switch("tests", tests) == "1",
                                                    report)
    finally:
        if bar is not None:
            bar.close()
    frame = _frame(summary)
    if _pd is not None:
        frame.attrs["seed"] = used_seed
        frame.attrs["generator"] = generator
    if not tests:
        return frame
    return frame, _frame(test_rows)


def _shard_text(shard: Any, number: int) -> Tuple[str, str]:
    """A shard's name and the text of its rows."""
    if isinstance(shard, (str, _os.PathLike)):
        path = _os.fspath(shard)
        with open(path, "r", encoding="utf-8", newline="") as f:
            return path, f.read()
    keys = list(shard.keys())
    names = [str(c) for c in keys]
    values, present = [], []
    for c in keys:
        column = shard[c]
        if _pd is not None and isinstance(column, _pd.Series):
            mask = column.notna().to_numpy()
            data = column.to_numpy(dtype=object)
        else:
            data = _np.asarray(column, dtype=object)
            mask = _np.array([v is not None and not (isinstance(v, float) and _np.isnan(v)) for v in data])
        kind_is_text = data.dtype == object and any(isinstance(v, str) for v in data[mask])
        if kind_is_text:
            values.append([str(v) if m else "" for v, m in zip(data, mask)])
        else:
            numbers = [v if m else 0 for v, m in zip(data, mask)]
            values.append([float(v) for v in numbers] if any(isinstance(v, float) for v in numbers)
                          else [int(v) for v in numbers])
        present.append([bool(m) for m in mask])
    return f"shard {number}", _core.frame_csv(names, values, present)


def merge(shards: Iterable[Any]):
    """Joins the summary rows of a study's shards, as ``veltrano-batch study merge`` does.

    shards: data frames returned by :func:`study` with ``shard=``, or the paths of the
    ``--out`` files of ``veltrano-batch study --shard``, in any order, of a study of either
    generator. Shards of different studies, or missing, repeated or unfinished conditions
    raise ValueError.

    Returns the data frame of the whole study, as :func:`study` would have returned it.
    """
    if isinstance(shards, (str, _os.PathLike)) or (_pd is not None and isinstance(shards, _pd.DataFrame)):
        shards = [shards]  # one shard, not the letters of its name
    texts = [_shard_text(s, i + 1) for i, s in enumerate(shards)]
    frames = [s for s in shards if _pd is not None and isinstance(s, _pd.DataFrame)]
    merged = _frame(_core.merge(texts))
    if _pd is not None and len(merged):
        merged.attrs["seed"] = frames[0].attrs.get("seed") if frames and "seed" in frames[0].attrs else \
            int(merged["study_seed"].iloc[0])
        merged.attrs["generator"] = merged["generator"].iloc[0] if "generator" in merged.columns else "lcg"
    return merged


def _sheet_text(sheet: Any) -> str:
    """The CSV text of a table of marks: ids in the first column (or a data frame's index)."""
    out = _io.StringIO()
    writer = _csv.writer(out, lineterminator="\n")
    if _pd is not None and isinstance(sheet, _pd.DataFrame):
        # The ids are the first column, whatever the index (a sorted or filtered frame's row
        # labels are not ids), as they are in R.
        frame = sheet
        writer.writerow(["id"] + [str(c) for c in frame.columns[1:]])
        rows = frame.itertuples(index=False, name=None)
    else:
        rows = sheet
    for row in rows:
        cells = list(row)
        writer.writerow([_mark(c) for c in cells])
    return out.getvalue()


def _mark(cell: Any) -> str:
    if cell is None or (_pd is not None and cell is _pd.NA):
        return ""  # an omission, as None and NaN are
    if isinstance(cell, float):
        if _np.isnan(cell):
            return ""
        if cell == int(cell):
            return str(int(cell))
    if isinstance(cell, (_np.integer, int)):
        return str(int(cell))
    return str(cell)


def analyse_responses(sheet: Any, *, key: Any = None, key_file: Any = None, k: Optional[int] = None,
                      ci: bool = False, jobs: Optional[int] = None):
    """Analyses every examinee of an exam's answer sheet, as
    ``veltrano-batch analyse --responses`` does.

    sheet: the path of a sheet file (CSV or tab-separated: the id, then one mark per item,
        a letter A to J or a number 1 to 10, empty or *, - or . for an omission; a row KEY
        holds the key), or the marks themselves: a data frame (ids in the first column), a
        2-D list or array with the ids first. None, NaN and pandas' NA are omissions.
    key: the key, when the sheet has no KEY row: a text ("ABDCA", "A,B,D,C,A"), a list of
        alternatives, or a key file as a pathlib.Path. key_file: the path of a key file.
    k: alternatives per item (default: the largest alternative in the key, at least 2; a mark
        beyond it raises ValueError, as a slip is likelier than items with more alternatives).
    ci, jobs: as for :func:`analyse`.

    Returns a data frame with the columns of ``analyse --responses --out``: one row per
    examinee in the sheet's order, the pooled row ``ALL`` last. ``df.attrs["favoured"]``
    names the positions the examinees' guesses favour far above 1/k (a list of sentences),
    or is None. A sheet that breaks a rule raises ValueError naming its line and column.
    """
    if isinstance(key, (list, tuple, _np.ndarray)):
        key = ",".join(_mark(c) for c in key)
    elif isinstance(key, _os.PathLike):  # a key file
        key, key_file = None, key
    elif key is not None and not isinstance(key, str):
        raise TypeError(f"key must be a text, a list of alternatives or a pathlib.Path (got {type(key).__name__})")
    given = _settings({"k": k, "jobs": jobs}, {"ci": ci})
    if key is not None:
        given["key"] = key
    if key_file is not None:
        given["key-file"] = _os.fspath(key_file)
    if isinstance(sheet, (str, _os.PathLike)):
        columns, favoured = _core.responses(_os.fspath(sheet), None, "", given)
    else:
        columns, favoured = _core.responses(None, _sheet_text(sheet), "the sheet", given)
    frame = _frame(columns)
    if _pd is not None:
        frame.attrs["favoured"] = list(favoured) or None
    return frame
