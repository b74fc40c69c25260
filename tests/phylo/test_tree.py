"""The tree of the living, checked from outside the program.

Two runs of tarn-sim: seed 7 for 17,500 frames (by then the living have a
common ancestor, after thousands of frames of many seeded lineages), and
1,500 frames from the world it ends with, loaded from the file (every
loaded Unit a root). For each:
  - every figure of phylodiversity.csv recomputed from phylogeny.csv by a
    plain method: the living at each row from origin_time and
    destruction_time, their ancestors walked up the ancestor_list, and the
    distance of every pair of the living counted as the Units on one path
    up to the origin and not on the other;
  - tree.nwk read by DendroPy: its leaves are the living of the last row,
    and every node lies as many frames from the root as its Unit's
    origin_time says;
  - the loaded run: run.json and loaded.csv name the loaded Units, which
    are found by slot among the living of the run whose world was loaded,
    and the first stats row balances.

Run with the build's tarn-sim in TARN_SIM (CTest sets it), or from the
repository with build/tarn-sim.
"""
import csv
import json
import math
import os
import subprocess
from pathlib import Path

import pytest

SIM = os.environ.get("TARN_SIM", str(Path(__file__).resolve().parents[2] / "build" / "tarn-sim"))


def run_sim(*args):
    if not os.access(SIM, os.X_OK):
        pytest.skip(f"no tarn-sim at {SIM}")
    subprocess.run([SIM, "--quiet", "--no-pictures", *args], check=True, timeout=600)


def rows(path):
    with open(path, newline="") as f:
        return list(csv.DictReader(f))


@pytest.fixture(scope="module")
def runs(tmp_path_factory):
    top = tmp_path_factory.mktemp("tree")
    grown, loaded = top / "grown", top / "loaded"
    run_sim("--seed", "7", "--frames", "17500", "--every", "700", "--out", str(grown))
    run_sim("--seed", "8", "--frames", "1500", "--every", "500", "--load", str(grown / "world.sav"),
            "--out", str(loaded))
    return {"grown": grown, "loaded": loaded}


class Phylogeny:
    """phylogeny.csv as a reader of the standard would take it."""

    def __init__(self, folder):
        self.units = {}
        for r in rows(folder / "phylogeny.csv"):
            unit = int(r["id"])
            listed = r["ancestor_list"].strip("[]")
            parent = None if listed == "NONE" else int(listed)
            assert int(r["ancestor_id"]) == (unit if parent is None else parent), r["id"]
            end = math.inf if r["destruction_time"] == "inf" else int(r["destruction_time"])
            self.units[unit] = (parent, int(r["origin_time"]), end, int(r["slot"]), r["genome"])

    def parent(self, unit):
        return self.units[unit][0]

    def origin(self, unit):
        return self.units[unit][1]

    def living(self, frame):
        """Alive at the end of frame: from origin_time up to, not including, destruction_time."""
        return [u for u, (_, start, end, _, _) in self.units.items() if start <= frame < end]

    def line(self, unit):
        """The Unit and its ancestors, up to the one without parent."""
        out = []
        while unit is not None:
            out.append(unit)
            unit = self.parent(unit)
        return out


def recomputed(phylogeny, frame):
    """A row of phylodiversity.csv worked out the plain way."""
    living = phylogeny.living(frame)
    n = len(living)
    lines = {u: phylogeny.line(u) for u in living}
    tree = set().union(*lines.values()) if living else set()
    row = {"alive": str(n), "roots": str(sum(phylogeny.parent(u) is None for u in tree)),
           "phylogenetic_diversity": str(len(tree)), "mean_pairwise_distance": "", "mrca": "",
           "mrca_depth": "", "depth_mean": "", "depth_max": ""}
    if n >= 2:
        sets = [frozenset(lines[u]) for u in living]
        total = sum(len(sets[i] ^ sets[j]) for i in range(n) for j in range(i))  # every pair walked
        row["mean_pairwise_distance"] = f"{total / (n * (n - 1) // 2):.6f}"
    if n:
        common = set(lines[living[0]]).intersection(*lines.values())
        deepest = max(common, key=lambda u: len(phylogeny.line(u)), default=None)
        row["mrca"] = "" if deepest is None else str(deepest)
        row["mrca_depth"] = "0" if deepest is None else str(len(phylogeny.line(deepest)))
        depths = [len(lines[u]) for u in living]
        row["depth_mean"] = f"{sum(depths) / n:.6f}"
        row["depth_max"] = str(max(depths))
    return row


@pytest.mark.parametrize("which", ["grown", "loaded"])
def test_every_figure_recomputed_from_the_phylogeny(runs, which):
    folder = runs[which]
    phylogeny = Phylogeny(folder)
    stats = rows(folder / "stats.csv")
    figures = rows(folder / "phylodiversity.csv")
    assert [r["frame"] for r in figures] == [r["frame"] for r in stats]
    changes, last = 0, None
    for i, (stat, got) in enumerate(zip(stats, figures)):
        want = recomputed(phylogeny, int(got["frame"]))
        assert want["alive"] == stat["alive"]
        if i > 0 and want["mrca"] != last:
            changes += 1
        last = want["mrca"]
        want["mrca_changes"] = str(changes)
        assert {k: got[k] for k in want} == want, f"frame {got['frame']}"
    if which == "grown":  # what the run is meant to go through: many roots, then one ancestor
        assert changes >= 1 and figures[-1]["mrca"] != "" and figures[-1]["roots"] == "1"
        assert int(figures[0]["roots"]) > 20


@pytest.mark.parametrize("which", ["grown", "loaded"])
def test_newick_is_read_by_a_tree_library(runs, which):
    dendropy = pytest.importorskip("dendropy", reason="python3-dendropy is not installed (tools/deps.sh)")
    folder = runs[which]
    phylogeny = Phylogeny(folder)
    last = rows(folder / "stats.csv")[-1]
    tree = dendropy.Tree.get(path=str(folder / "tree.nwk"), schema="newick")
    leaves = [int(leaf.taxon.label) for leaf in tree.leaf_node_iter()]
    assert len(leaves) == int(last["alive"])
    assert sorted(leaves) == sorted(phylogeny.living(int(last["frame"])))
    inner = 0
    for node in tree.preorder_node_iter():
        frames = sum(n.edge.length or 0 for n in [node, *node.ancestor_iter()])
        label = node.taxon.label if node.is_leaf() else node.label
        if label is None:  # the origin, at the root when two or more lineages live
            assert node is tree.seed_node and len(node.child_nodes()) >= 2
            continue
        assert frames == phylogeny.origin(int(label)), f"node {label}"
        if not node.is_leaf():
            inner += 1
            assert len(node.child_nodes()) >= 2
            for leaf in node.leaf_iter():
                assert int(label) in phylogeny.line(int(leaf.taxon.label))
    assert inner > 10
    assert (tree.seed_node.label is None) == (which == "loaded")


def test_loaded_units_are_named_and_found_in_the_run_they_came_from(runs):
    grown, loaded = runs["grown"], runs["loaded"]
    record = json.loads((loaded / "run.json").read_text())
    named = rows(loaded / "loaded.csv")
    phylogeny = Phylogeny(loaded)
    assert record["load"]["units"] == len(named) == int(rows(grown / "stats.csv")[-1]["alive"])
    assert [int(r["id"]) for r in named] == list(range(len(named)))
    before = {slot: genome for _, _, end, slot, genome in Phylogeny(grown).units.values() if end == math.inf}
    for r in named:
        parent, origin, _, slot, genome = phylogeny.units[int(r["id"])]
        assert (parent, origin, slot) == (None, 0, int(r["slot"]))
        assert before[slot] == genome
    first = rows(loaded / "stats.csv")[0]
    deaths = sum(int(v) for k, v in first.items() if k.startswith("deaths_"))
    assert int(first["alive"]) == len(named) + int(first["births"]) + int(first["seeded"]) - deaths
