"""summary.csv and bands.csv of a real sweep, recomputed here from the runs'
own files, and the messages for bad or unusual sweeps."""
import csv
import json
import statistics
from pathlib import Path

import pytest
from scipy import stats

from conftest import make_sweep, summarize, write_run


def rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


def test_summary_matches_each_runs_record(real_sweep):
    folder, _ = real_sweep
    summary = rows(folder / "summary.csv")
    assert list(summary[0])[:17] == [
        "treatment", "contests.kin_tolerance", "seed", "frames", "living", "alive", "level", "births",
        "seeded", "deaths_age", "deaths_starvation", "deaths_contest", "deaths_search",
        "deaths_unfit", "deaths_cull", "genotypes", "wall_seconds"]
    assert [(r["treatment"], r["contests.kin_tolerance"], r["seed"]) for r in summary] == [
        ("a", "10", "1"), ("a", "10", "2"), ("a", "10", "3"), ("b", "40", "1"),
        ("b", "40", "2"), ("b", "40", "3")]  # b/seed-4 has not finished
    for r in summary:
        record = json.loads((folder / r["treatment"] / f"seed-{r['seed']}" / "run.json").read_text())
        expected = {"frames": record["frames_run"], **record["totals"],
                    **{k: record["final"][k] for k in ("living", "alive", "level", "genotypes")}}
        assert {k: int(r[k]) for k in expected} == expected
        assert float(r["wall_seconds"]) == pytest.approx(record["wall_seconds"], rel=1e-9)


def test_bands_recomputed_from_the_runs(real_sweep):
    folder, message = real_sweep
    assert "treatment b: its runs end at frames 300 to 400; compared up to frame 300" in message
    assert "b/seed-4 has not finished (a resume file)" in message
    values = {}  # (treatment, frame, measure) -> the runs' values
    for t in ("a", "b"):
        for seed in (1, 2, 3):
            run = folder / t / f"seed-{seed}"
            for row in rows(run / "stats.csv"):
                for measure in ("alive", "births", "deaths_contest"):
                    values.setdefault((t, int(row["frame"]), measure), []).append(float(row[measure]))
            for row in rows(run / "genes.csv"):
                if row["name"] == "kin":
                    values.setdefault((t, int(row["frame"]), "mean_kin"), []).append(float(row["mean"]))
    bands = {(r["treatment"], int(r["frame"]), r["measure"]): r for r in rows(folder / "bands.csv")}
    assert sorted({(t, f) for t, f, _ in bands}) == [(t, f) for t in "ab" for f in (100, 200, 300)]
    for key, v in values.items():
        if key[1] > 300:
            continue
        half = stats.t.ppf(0.975, len(v) - 1) * statistics.stdev(v) / len(v) ** 0.5
        q1, median, q3 = statistics.quantiles(v, n=4, method="inclusive")
        b = bands[key]
        assert int(b["n"]) == 3
        got = [float(b[k]) for k in ("mean", "ci_low", "ci_high", "median", "q1", "q3")]
        want = [statistics.mean(v), statistics.mean(v) - half, statistics.mean(v) + half,
                median, q1, q3]
        assert got == pytest.approx(want, rel=1e-8, abs=1e-8), key


def test_summary_page_and_tests(real_sweep):
    folder, _ = real_sweep
    page = (folder / "summary.html").read_text()
    assert '<a href="b/seed-4/report.html">b/seed-4 (a resume file)</a>' in page
    assert '<a href="a/seed-2/report.html">2</a>' in page
    assert '<a href="a/params.toml">a</a>' in page and 'href="b/params.toml"' not in page
    tests = rows(folder / "tests.csv")
    assert {r["frame"] for r in tests} == {"300"}
    assert len([r for r in tests if r["test"] == "mannwhitney"]) == 53  # one pair, every measure


@pytest.mark.parametrize("setup, message", [
    (lambda d: d.mkdir(), "is not a sweep: no treatments.csv and no seed-S folder"),
    (lambda d: None, "is not a folder"),
    (lambda d: write_run(d, 5), "is one experiment, not a sweep"),
    (lambda d: (make_sweep(d, {"x": [1, 2]}) / "treatments.csv").write_text("treatment\nx/y\n"),
     "treatments.csv line 2: 'x/y' is not a treatment name"),
    (lambda d: (make_sweep(d, {"x": [1, 2]}) / "x" / "seed-1" / "stats.csv").unlink(),
     "a run's files cannot be read"),
])
def test_bad_input_is_refused_and_nothing_written(tmp_path, setup, message):
    folder = tmp_path / "sweep"
    setup(folder)
    before = sorted(Path(tmp_path).rglob("*"))
    done = summarize(folder)
    assert done.returncode == 2 and done.stderr.startswith("sweep: ") and message in done.stderr
    assert sorted(Path(tmp_path).rglob("*")) == before


def test_one_run_and_one_treatment_are_said(tmp_path):
    done = summarize(make_sweep(tmp_path / "s", {"x": [1, 2, 3], "y": [4]}))
    assert "treatment y has one run: no interval and no test for it" in done.stderr
    assert "fewer than two treatments have two runs or more" in done.stderr
    assert (tmp_path / "s" / "tests.csv").read_text().count("\n") == 1
    y = [r for r in rows(tmp_path / "s" / "bands.csv") if r["treatment"] == "y"]
    assert y and all(r["n"] == "1" and r["ci_low"] == "" for r in y)
    # The old layout: seed-S folders without treatments.csv, one treatment "all".
    for seed in (1, 2):
        write_run(tmp_path / "old" / f"seed-{seed}", seed)
    done = summarize(tmp_path / "old")
    assert "one treatment: nothing to compare, tests.csv holds no test" in done.stderr
    assert [r["treatment"] for r in rows(tmp_path / "old" / "summary.csv")] == ["all", "all"]
    assert "one treatment: nothing to compare" in (tmp_path / "old" / "summary.html").read_text()
