"""The reader's types, on a real run of tarn-sim."""
import csv
import subprocess

import pandas as pd
import pytest

import tarn_results as tr


@pytest.fixture(scope="module")
def run(sim, tmp_path_factory):
    folder = tmp_path_factory.mktemp("run") / "seed-2"
    subprocess.run([sim, "--quiet", "--no-pictures", "--seed", "2", "--frames", "3000", "--out",
                    str(folder)], check=True)
    return folder


def test_phylogeny_types(run):
    with open(run / "phylogeny.csv", newline="") as f:
        rows = list(csv.DictReader(f))
    p = tr.load(run).phylogeny
    for column in ("id", "parent", "ancestor_id", "origin_time", "destruction_time", "slot"):
        assert p[column].dtype == "Int64", column
    living = [row["destruction_time"] == "inf" for row in rows]
    assert any(living) and list(p["destruction_time"].isna()) == living
    assert list(p["cause"].isna()) == living
    assert list(p["parent"].isna()) == [row["ancestor_list"] == "[NONE]" for row in rows]
    # ancestor_id: the parent, or the Unit's own id for one without parent.
    assert list(p["ancestor_id"]) == [i if pd.isna(a) else a for i, a in zip(p["id"], p["parent"])]
    assert list(p.columns[-36:]) == list(tr.GENE_NAMES)
    assert " ".join(map(str, p.iloc[-1, -36:])) == rows[-1]["genome"]
    # The names are those of genes.csv.
    assert list(tr.read_genes(run / "genes.csv")["name"][:36]) == list(tr.GENE_NAMES)


def test_lineages_keep_the_units_of_no_major_lineage(run):
    r = tr.load(run)
    lineages = r.lineages
    assert lineages["lineage"].dtype == "Int64" and lineages["parent"].dtype == "Int64"
    assert lineages["lineage"].isna().any() and lineages["lineage"].notna().any()
    by_frame = lineages.groupby(["frame", "lineage"], dropna=False)["alive"].sum().groupby("frame").sum()
    assert list(by_frame) == list(r.stats["alive"])
    counts = tr.lineage_counts(lineages).set_index("frame")
    none = lineages[lineages["lineage"].isna()].set_index("frame")["alive"]
    assert list(counts["no_lineage"]) == list(none.reindex(counts.index, fill_value=0))
    assert list(counts["major_lineages"]) == list(lineages.groupby("frame")["lineage"].count())
    assert r.summary.loc[0, "no_lineage"] == counts["no_lineage"].iloc[-1]
    last_kin = (run / "genes.csv").read_text().splitlines()[-36 + 12].split(",")
    assert last_kin[2] == "kin" and r.summary.loc[0, "mean_kin"] == float(last_kin[3])
