"""Fixtures: hand-made sweeps whose values are known, and small real ones made by tarn-sim."""
import json
import os
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).resolve().parents[2]
sys.path.insert(0, str(ROOT / "analysis"))
import tarn_results as tr  # noqa: E402

SUMMARIZE = [sys.executable, str(ROOT / "analysis" / "summarize_sweep.py")]
STATS_HEADER = ("frame,living,alive,level,foodDivisor,liveCells,reseeding,births,seeded,deaths_age,"
                "deaths_starvation,deaths_contest,deaths_search,deaths_unfit,deaths_cull,genotypes,"
                "dominant,mean_age,mean_energy")


def summarize(folder):
    return subprocess.run(SUMMARIZE + [str(folder)], capture_output=True, text=True)


def write_run(folder, alive, frame=100):
    """A finished run with one stats row: `alive` Units, every other count 1,
    every gene's mean `alive` too."""
    folder.mkdir(parents=True)
    (folder / "stats.csv").write_text(f"{STATS_HEADER}\n{frame},{alive},{alive},1,0.5,9,0,"
                                      + "1," * 8 + f"{alive},1,1.0,1.0\n")
    (folder / "genes.csv").write_text("frame,gene,name,mean,sd,min,max\n" + "".join(
        f"{frame},{g},{name},{alive},0,{alive},{alive}\n" for g, name in enumerate(tr.GENE_NAMES)))
    (folder / "lineages.csv").write_text(f"frame,lineage,parent,alive\n{frame},,,{alive}\n")
    (folder / "run.json").write_text(json.dumps({"seed": 1, "wall_seconds": 0.5}))


def make_sweep(folder, samples):
    """A sweep with a treatment per key of samples, a run per value (its alive)."""
    folder.mkdir(parents=True, exist_ok=True)
    (folder / "treatments.csv").write_text(
        "treatment,contests.kin_tolerance\n" + "".join(f"{t},{i}\n" for i, t in enumerate(samples)))
    for t, values in samples.items():
        for seed, value in enumerate(values, start=1):
            write_run(folder / t / f"seed-{seed}", value)
    return folder


@pytest.fixture(scope="session")
def sim():
    for path in (os.environ.get("TARN_SIM"), ROOT / "build" / "tarn-sim"):
        if path and Path(path).is_file():
            return str(path)
    pytest.skip("no tarn-sim: set TARN_SIM or build build/tarn-sim")


@pytest.fixture(scope="session")
def real_sweep(sim, tmp_path_factory):
    """Treatments a (seeds 1-3, 300 frames) and b (seeds 1-3, 400 frames but
    seed 3 only 300), and b/seed-4 stopped (a resume file), summarised. With a
    tarn-sim that takes --set, a and b differ in contests.kin_tolerance."""
    folder = tmp_path_factory.mktemp("sweep")
    rules = "--set" in subprocess.run([sim, "--help"], capture_output=True, text=True).stdout
    kin = {"a": 10, "b": 40}
    (folder / "treatments.csv").write_text("treatment,contests.kin_tolerance\na,10\nb,40\n")
    for t, seed, frames in [("a", 1, 300), ("a", 2, 300), ("a", 3, 300), ("b", 1, 400),
                            ("b", 2, 400), ("b", 3, 300), ("b", 4, 200)]:
        given = ["--set", f"contests.kin_tolerance={kin[t]}"] if rules else []
        subprocess.run([sim, "--quiet", "--no-pictures", "--seed", str(seed + 10 * (t == "b")),
                        "--frames", str(frames), "--out", str(folder / t / f"seed-{seed}")] + given,
                       check=True)
    (folder / "b" / "seed-4" / "resume").touch()
    (folder / "a" / "params.toml").write_text("[contests]\nkin_tolerance = 10\n")
    done = summarize(folder)
    assert done.returncode == (0 if shutil.which("gnuplot") else 1), done.stderr
    return folder, done.stderr
