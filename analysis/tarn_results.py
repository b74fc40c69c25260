"""Reading tarn's experiment folders and sweeps into pandas DataFrames.

An experiment folder is what `tarn-sim --out DIR` writes; a sweep is a
folder of them, `DIR/<treatment>/seed-S` with `DIR/treatments.csv` (or the
old layout `DIR/seed-S`, which reads as the one treatment named "all").

    import sys
    sys.path.insert(0, "analysis")          # from the project's top folder
    import tarn_results as tr

    sweep = tr.load("runs/sweep")           # a sweep, or one experiment folder
    sweep.summary                           # a row per finished run (summary.csv)
    sweep.stats                             # every run's stats.csv, one frame
    sweep.stats.groupby(["treatment", "frame"])["alive"].mean()
    sweep.gene_means                        # a row per run and frame, mean_<gene> columns
    sweep.phylogeny                         # read when first asked for
    sweep.phylodiversity                    # the tree of the living at every stats row

Loading a sweep adds the columns `treatment` (a string) and `seed` (an
integer) in front of every table; an experiment folder's tables have
neither. Only finished runs are read (run.json there and no `resume` file);
`sweep.runs` lists every run found, finished or not.

The types:
- ids (`id`, `parent`, `ancestor_id`, `slot`, `lineage`) are pandas "Int64",
  with <NA> where the file leaves them empty: `parent` is the id in
  `ancestor_list`, <NA> for `[NONE]`; `lineage` and `parent` in lineages.csv
  are <NA> on the line that counts the Units of no major lineage;
- `destruction_time` is "Int64", <NA> for a Unit alive at the end (the file
  says `inf`), and `cause` is <NA> there too;
- the genome is 36 "int64" columns named by gene (GENE_NAMES, the names of
  genes.csv), in place of phylogeny.csv's `genome` column;
- genes.csv's `min` and `max` are "Int64", <NA> (and `mean`, `sd` NaN) at a
  frame with no Unit alive;
- phylodiversity.csv's `mrca` is "Int64", <NA> where the living's lineages
  meet only at the origin or nobody is alive; its figures are numbers, NaN
  where the file leaves them empty. Runs made before the program wrote the
  file have none: the table is then empty.

A group-by on `lineage` drops the <NA> line unless told not to: use
`groupby(..., dropna=False)`, as `lineage_counts` does, to keep the Units
of no major lineage.
"""

import io
import json
import re
from functools import cached_property
from pathlib import Path

import pandas as pd

GENE_NAMES = (
    "home_x", "home_y", "red", "green", "sow_period", "homeward_energy", "forage_energy", "blue",
    "long_step_distance", "long_step", "move_cost", "sow_range", "kin", "breed_stock", "spare_14",
    "spare_15", "home_radius", "away_x", "away_y", "contact_range", "seed_nw", "seed_n", "seed_ne",
    "seed_e", "seed_se", "seed_s", "seed_sw", "seed_w", "seed_n2", "seed_s2", "seed_w2", "seed_e2",
    "return_margin", "mutation", "spare_34", "lifespan")

# The stats columns that count the frames since the previous row.
ARRIVALS_AND_DEATHS = ("births", "seeded", "deaths_age", "deaths_starvation", "deaths_contest",
                       "deaths_search", "deaths_unfit", "deaths_cull")
# The figures of the tree of the living that treatments are compared by
# (phylodiversity.csv's columns).
TREE_MEASURES = ("roots", "phylogenetic_diversity", "mean_pairwise_distance", "mrca_depth", "depth_mean",
                 "depth_max")
# summary.csv's first columns, as tools/sweep.sh has always written them
# (after treatment and its parameters).
SUMMARY_COLUMNS = ("seed", "frames", "living", "alive", "level") + ARRIVALS_AND_DEATHS + (
    "genotypes", "wall_seconds")
# The treatment of a sweep in the old layout, DIR/seed-S without treatments.csv.
OLD_LAYOUT_TREATMENT = "all"
TREATMENT_NAME = re.compile(r"[A-Za-z0-9._=-]+")


class NotASweep(ValueError):
    """A folder that is neither a sweep nor an experiment, or a damaged treatments.csv."""


def _int_ids(frame, columns):
    for column in columns:
        if column in frame:
            frame[column] = pd.to_numeric(frame[column]).astype("Int64")
    return frame


def read_stats(source):
    """stats.csv (a path or an open text file): a row a stats row, counts as integers."""
    return pd.read_csv(source)


def read_genes(source):
    """genes.csv: frame, gene, name, mean, sd, min, max; min and max "Int64"."""
    return _int_ids(pd.read_csv(source), ("min", "max"))


def read_lineages(source):
    """lineages.csv: frame, lineage, parent, alive; lineage and parent "Int64"."""
    return _int_ids(pd.read_csv(source), ("lineage", "parent"))


def read_phylogeny(source):
    """phylogeny.csv: ids "Int64", the living's destruction_time <NA>, the genome as 36 columns.

    A `parent` column (from ancestor_list) is added; an `ancestor_id` column,
    where the file has one, is kept as it is ("Int64").
    """
    p = pd.read_csv(source, dtype={"ancestor_list": str, "destruction_time": str, "cause": str,
                                   "genome": str}, keep_default_na=False, na_values={"cause": [""]})
    p.insert(p.columns.get_loc("ancestor_list") + 1, "parent",
             p["ancestor_list"].str.strip("[]").replace("NONE", None))
    p["cause"] = p["cause"].astype("string")
    p["destruction_time"] = p["destruction_time"].replace({"inf": None, "": None})
    _int_ids(p, ("id", "parent", "ancestor_id", "origin_time", "destruction_time", "slot"))
    genes = p.pop("genome").str.split(" ", expand=True)
    if genes.shape[1] != len(GENE_NAMES) or genes.isna().any().any():
        raise ValueError(f"phylogeny.csv: a genome is not {len(GENE_NAMES)} numbers")
    genes.columns = list(GENE_NAMES)
    return pd.concat([p, genes.astype("int64")], axis=1)


def read_phylodiversity(source):
    """phylodiversity.csv: a row a stats row; mrca "Int64"."""
    return _int_ids(pd.read_csv(source), ("mrca",))


def gene_means(genes, keys=()):
    """Each gene's mean over the living as a column mean_<gene>, a row per (keys, frame)
    in the order of the rows of genes."""
    by = list(keys) + ["frame"]
    wide = genes.astype({"mean": float}).set_index(by + ["name"])["mean"].unstack("name")
    order = genes[by].drop_duplicates()
    wide = wide.reindex(index=pd.MultiIndex.from_frame(order) if keys else pd.Index(order["frame"]),
                        columns=[n for n in GENE_NAMES if n in wide.columns])
    wide.columns = ["mean_" + n for n in wide.columns]
    return wide.reset_index()


def lineage_counts(lineages, keys=()):
    """For each (keys, frame): major_lineages, the lineages with Units alive, and
    no_lineage, the Units alive in no major lineage (0 when none)."""
    by = list(keys) + ["frame"]
    counted = lineages.assign(major=lineages["lineage"].notna())
    alive = counted.groupby(by + ["major"], dropna=False, sort=False)["alive"]
    table = pd.DataFrame({"major_lineages": alive.count(), "units": alive.sum()}).unstack("major")
    out = pd.DataFrame(index=table.index)
    out["major_lineages"] = table.get(("major_lineages", True), 0)
    out["no_lineage"] = table.get(("units", False), 0)
    return out.fillna(0).astype("int64").reset_index()


def _finished(folder):
    """Why an experiment folder has not finished, or None when it has."""
    if not (folder / "run.json").is_file():
        return "no run.json"
    if (folder / "resume").exists():
        return "a resume file"
    return None


def _seed_folders(folder):
    found = []
    for entry in folder.glob("seed-*"):
        if entry.is_dir() and entry.name[5:].isdigit():
            found.append((int(entry.name[5:]), entry))
    return sorted(found)


def find_runs(folder):
    """The sweep's treatments (DataFrame: treatment and its parameters, in their
    order) and its runs (DataFrame: treatment, seed, folder, finished, why not).

    Raises NotASweep for a folder without treatments.csv or seed-S folders, or
    with a treatments.csv that cannot be read."""
    folder = Path(folder)
    if not folder.is_dir():
        raise NotASweep(f"{folder} is not a folder")
    listed = folder / "treatments.csv"
    if listed.exists():
        try:
            treatments = pd.read_csv(listed, dtype={"treatment": str}, keep_default_na=False)
        except (pd.errors.ParserError, pd.errors.EmptyDataError, UnicodeDecodeError) as e:
            raise NotASweep(f"{listed}: cannot be read ({str(e).strip()})") from None
        if treatments.columns[0] != "treatment":
            raise NotASweep(f"{listed}: the first column must be 'treatment'")
        for line, name in enumerate(treatments["treatment"], start=2):
            if not TREATMENT_NAME.fullmatch(name) or name in (".", ".."):
                raise NotASweep(f"{listed} line {line}: '{name}' is not a treatment name "
                                "(letters, digits, '.', '_', '-', '=')")
        if treatments["treatment"].duplicated().any():
            twice = treatments["treatment"][treatments["treatment"].duplicated()].iloc[0]
            raise NotASweep(f"{listed}: treatment '{twice}' is listed twice")
        runs = [(t, seed, path) for t in treatments["treatment"]
                for seed, path in _seed_folders(folder / t)]
    else:
        seeds = _seed_folders(folder)
        if not seeds:
            raise NotASweep(f"{folder} is not a sweep: no treatments.csv and no seed-S folder")
        treatments = pd.DataFrame({"treatment": [OLD_LAYOUT_TREATMENT]})
        runs = [(OLD_LAYOUT_TREATMENT, seed, path) for seed, path in seeds]
    table = pd.DataFrame(runs, columns=["treatment", "seed", "folder"])
    table["unfinished"] = [_finished(path) for path in table["folder"]]
    table["finished"] = table["unfinished"].isna()
    return treatments, table


def _read_all(folders, name, read):
    """One file from each folder, read as one table with a `run` column (the
    folder's position). Files with the same header are joined as text and
    parsed once, which is much faster than a read_csv per file."""
    header, bodies, odd = None, [], []
    for run, folder in enumerate(folders):
        with open(folder / name, encoding="utf-8") as f:
            text = f.read()
        head, _, body = text.partition("\n")
        if header is None:
            header = head
        if head != header:
            odd.append(run)
            continue
        body = body.rstrip("\n")
        if body:
            prefix = f"{run},"
            bodies.append(prefix + body.replace("\n", "\n" + prefix))
    if header is None:
        raise ValueError(f"no {name} to read")
    tables = [read(io.StringIO(f"run,{header}\n" + "\n".join(bodies) + "\n"))]
    tables += [read(folders[run] / name).assign(run=run) for run in odd]
    table = pd.concat(tables, ignore_index=True) if odd else tables[0]
    return table.sort_values(["run", "frame"], kind="stable").reset_index(drop=True) if odd else table


class Results:
    """An experiment folder or a sweep, its tables read when first asked for.

    For a sweep: `treatments` (treatments.csv, or one row "all" for the old
    layout) and `runs` (every run found: treatment, seed, folder, finished,
    unfinished = why not). The tables (stats, genes, gene_means, lineages,
    phylogeny, summary) hold the finished runs, with treatment and seed first.
    """

    def __init__(self, folder):
        self.folder = Path(folder)
        if (self.folder / "stats.csv").is_file() and not (self.folder / "treatments.csv").exists():
            self.is_sweep = False
            self.treatments = None
            self.runs = pd.DataFrame({"folder": [self.folder],
                                      "unfinished": [_finished(self.folder)]})
            self.runs["finished"] = self.runs["unfinished"].isna()
            self._keys = []
            self._done = self.runs
        else:
            self.is_sweep = True
            self.treatments, self.runs = find_runs(self.folder)
            self._keys = ["treatment", "seed"]
            self._done = self.runs[self.runs["finished"]].reset_index(drop=True)

    def _table(self, name, read):
        folders = list(self._done["folder"])
        if not folders:
            table = read(io.StringIO(_EMPTY_HEADERS[name]))
        elif not self.is_sweep:
            return read(folders[0] / name)
        else:
            table = _read_all(folders, name, read)
        run = table.pop("run").to_numpy() if "run" in table else []
        if self.is_sweep:
            table.insert(0, "seed", self._done["seed"].to_numpy()[run].astype("int64"))
            table.insert(0, "treatment", self._done["treatment"].to_numpy()[run].astype(object))
        return table

    @cached_property
    def stats(self):
        return self._table("stats.csv", read_stats)

    @cached_property
    def genes(self):
        return self._table("genes.csv", read_genes)

    @cached_property
    def lineages(self):
        return self._table("lineages.csv", read_lineages)

    @cached_property
    def phylogeny(self):
        return self._table("phylogeny.csv", read_phylogeny)

    @cached_property
    def phylodiversity(self):
        """Every finished run's phylodiversity.csv; empty when a run has none."""
        if all((f / "phylodiversity.csv").is_file() for f in self._done["folder"]):
            return self._table("phylodiversity.csv", read_phylodiversity)
        empty = read_phylodiversity(io.StringIO(_EMPTY_HEADERS["phylodiversity.csv"]))
        return empty.reindex(columns=self._keys + list(empty.columns))

    @cached_property
    def gene_means(self):
        """A row per run and stats row: the keys, frame and mean_<gene> for each gene."""
        return gene_means(self.genes, self._keys)

    @cached_property
    def records(self):
        """Each finished run's run.json, as a dict, in the order of the runs."""
        records = []
        for folder in self._done["folder"]:
            with open(folder / "run.json", encoding="utf-8") as f:
                records.append(json.load(f))
        return records

    @cached_property
    def summary(self):
        """A row per finished run: treatment and its parameters, seed, the last stats
        row's state, the totals of arrivals and deaths, genotypes, wall_seconds,
        then the rest of the last row, major_lineages and no_lineage at the last
        row, the last mean of every gene (mean_<gene>), and the tree of the
        living at the last row (TREE_MEASURES and mrca, when every run has
        phylodiversity.csv)."""
        first = list(self.treatments.columns) if self._keys else []
        if self._done.empty:
            return pd.DataFrame(columns=first + list(SUMMARY_COLUMNS))
        keys = self._keys or ["_run"]
        keyed = (lambda t: t) if self._keys else (lambda t: t.assign(_run=0))
        stats = keyed(self.stats)
        last = stats.groupby(keys, sort=False).tail(1)
        totals = stats.groupby(keys, sort=False)[list(ARRIVALS_AND_DEATHS)].sum().reset_index()
        runs = keyed(self._done[self._keys].copy())
        runs["wall_seconds"] = [r.get("wall_seconds") for r in self.records]
        if not self._keys:
            runs["seed"] = [r.get("seed") for r in self.records]
        out = (runs.merge(last.drop(columns=list(ARRIVALS_AND_DEATHS)), on=keys)
               .merge(totals, on=keys)
               .merge(lineage_counts(keyed(self.lineages), keys), on=keys + ["frame"], how="left")
               .merge(keyed(self.gene_means), on=keys + ["frame"], how="left"))
        tree = self.phylodiversity
        if not tree.empty:
            tree = keyed(tree)[keys + ["frame", "mrca"] + list(TREE_MEASURES)]
            out = out.merge(tree, on=keys + ["frame"], how="left")
        out = out.rename(columns={"frame": "frames"})
        if self._keys:
            out = out.merge(self.treatments, on="treatment", how="left")
        rest = [c for c in out.columns if c not in first + ["_run"] + list(SUMMARY_COLUMNS)]
        return out[first + list(SUMMARY_COLUMNS) + rest]


_EMPTY_HEADERS = {
    "stats.csv": "frame,living,alive,level,foodDivisor,liveCells,reseeding," + ",".join(
        ARRIVALS_AND_DEATHS) + ",genotypes,dominant,mean_age,mean_energy\n",
    "genes.csv": "frame,gene,name,mean,sd,min,max\n",
    "lineages.csv": "frame,lineage,parent,alive\n",
    "phylogeny.csv": "id,ancestor_list,origin_time,destruction_time,slot,cause,genome\n",
    "phylodiversity.csv": "frame,alive," + ",".join(TREE_MEASURES[:3]) + ",mrca,mrca_depth,mrca_changes,"
                          "depth_mean,depth_max\n",
}


def load(folder):
    """An experiment folder or a sweep (see Results). Raises NotASweep for a
    folder that is neither."""
    return Results(folder)
