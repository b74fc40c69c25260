#!/usr/bin/python3
"""The summary of a sweep: do its treatments differ, and how sure are we?

    /usr/bin/python3 analysis/summarize_sweep.py DIR

DIR is a sweep (DIR/<treatment>/seed-S with DIR/treatments.csv, or the old
layout DIR/seed-S, summarised as the one treatment "all"). Only finished
runs count (run.json and no resume file). Written into DIR, each file beside
its name first and then renamed over it:

summary.csv  a row per finished run: treatment, its parameters (the columns
    of treatments.csv), seed, frames, living, alive, level (the last stats
    row), births, seeded, deaths_<cause> (the run's totals), genotypes,
    wall_seconds (run.json), then the rest of the last row, major_lineages
    and no_lineage, and mean_<gene> for every gene (tarn_results.Results.summary).

bands.csv  for each treatment, stats row frame and measure (every stats
    column, each arrival and death count being that row's interval,
    mean_<gene>, the gene's mean over the Units alive, and the figures of the
    tree of the living, TREE_MEASURES of phylodiversity.csv), over the treatment's
    runs that have a value there: n, mean, sd (the sample standard deviation,
    n - 1), ci_low and ci_high = mean -/+ t * sd / sqrt(n) with
    t = scipy.stats.t.ppf(0.975, n - 1), the 95 % confidence interval of the
    mean (empty when n < 2), median, q1 and q3 (pandas' quantile: linear
    between order statistics). Only the frames that every run of the
    treatment has a row for.

tests.csv  the treatments compared at frame F, the last frame every finished
    run has a row for. The measures: alive, level, births, seeded,
    deaths_<cause> (totals up to F), genotypes, mean_<gene> and the tree of
    the living's figures at F. For each
    measure, among the treatments with at least two runs that have a value:
    - a "kruskal" row: scipy.stats.kruskal over those treatments, H corrected
      for ties, p from the chi-square distribution with k - 1 degrees of
      freedom; empty when every value is equal (SciPy refuses those);
    - a "mannwhitney" row for each pair (a before b in the order of
      treatments.csv): statistic = U of a from
      scipy.stats.mannwhitneyu(a, b, alternative="two-sided") with its default
      method (exact when one sample has at most 8 values and there are no
      ties, else the normal approximation with continuity and tie
      corrections), its p, p_holm = Holm's step-down adjustment of that p
      over the family of all the pairs compared for that one measure (the
      k(k - 1)/2 p-values of the measure; measures are not pooled), and vd_a
      = U / (n_a n_b), the Vargha-Delaney A: the chance that a run of a has a
      larger value than a run of b, ties counting half.
    n is the runs compared, n_a and n_b those of each treatment of a pair.

summary-<measure>.png, summary-<measure>-final.png  for alive, level, a few
    genes, the phylogenetic diversity and the mean pairwise distance
    (PICTURE_MEASURES): each treatment's mean over frames with its
    confidence band (picture/sweep_bands_plot.gp), and box plots of the
    values at F (picture/sweep_final_plot.gp), drawn with gnuplot.

summary.html  the pictures, the tests (p below 0.05 marked), a row per
    treatment linking its runs' report.html, and the runs not finished.

Exit status: 0 done; 1 written, but something failed (no gnuplot, or it
failed: no pictures); 2 not a sweep, or bad input (nothing written).
Messages on standard error start with "sweep: ".
"""

import html
import math
import os
import shutil
import subprocess
import sys
import tempfile
from pathlib import Path
from urllib.parse import quote

import numpy as np
import pandas as pd
from scipy import stats as sps

sys.path.insert(0, str(Path(__file__).resolve().parent))
import tarn_results as tr  # noqa: E402

PICTURE_DIR = Path(__file__).resolve().parent.parent / "picture"
PICTURE_MEASURES = ("alive", "level", "mean_forage_energy", "mean_contact_range", "mean_kin",
                    "mean_mutation", "mean_lifespan", "phylogenetic_diversity", "mean_pairwise_distance")
COLOURS = ("#1f77b4", "#ff7f0e", "#2ca02c", "#d62728", "#9467bd", "#8c564b", "#e377c2",
           "#7f7f7f", "#bcbd22", "#17becf")
BANDS_COLUMNS = ["treatment", "frame", "measure", "n", "mean", "sd", "ci_low", "ci_high",
                 "median", "q1", "q3"]
TESTS_COLUMNS = ["measure", "frame", "test", "treatment_a", "treatment_b", "n", "n_a", "n_b",
                 "statistic", "p", "p_holm", "vd_a"]
FLOAT_FORMAT = "%.10g"


def final_measures():
    return (["alive", "level"] + list(tr.ARRIVALS_AND_DEATHS) + ["genotypes"]
            + ["mean_" + g for g in tr.GENE_NAMES] + list(tr.TREE_MEASURES))


def describe(measure):
    """A measure's words for a picture's axis."""
    if measure.startswith("mean_") and measure[5:] in tr.GENE_NAMES:
        return f"mean of gene {measure[5:]} over the Units alive"
    return {"alive": "Units alive at the end of the frame", "level": "Evolution Level",
            "phylogenetic_diversity": "Units in the tree of the living (generations)",
            "mean_pairwise_distance": "generations between two of the living"}.get(measure, measure)


def holm(pvalues):
    """Holm's step-down adjusted p-values, in the order given: the i-th smallest
    of m becomes the largest of (m - j + 1) p_(j) for j <= i, at most 1. NaN
    stays NaN and is not counted in m."""
    p = np.asarray(pvalues, dtype=float)
    out = np.full(p.shape, np.nan)
    kept = np.flatnonzero(~np.isnan(p))
    order = kept[np.argsort(p[kept], kind="stable")]
    m = len(order)
    out[order] = np.minimum(1.0, np.maximum.accumulate((m - np.arange(m)) * p[order]))
    return out


def vargha_delaney(u, n_a, n_b):
    """The Vargha-Delaney A of a over b from the Mann-Whitney U of a."""
    return u / (n_a * n_b)


def common_frames(stats):
    """For each treatment, the frames that every one of its runs has a row for."""
    runs = stats.groupby("treatment", sort=False)["seed"].nunique()
    have = stats.groupby(["treatment", "frame"], sort=False)["seed"].nunique().reset_index()
    have = have[have["seed"].to_numpy() == runs.loc[have["treatment"]].to_numpy()]
    return {t: sorted(f) for t, f in have.groupby("treatment", sort=False)["frame"]}


def tree_figures(results):
    """The tree of the living's figures (TREE_MEASURES) by treatment, seed and
    frame; none for runs made before phylodiversity.csv was written."""
    tree = results.phylodiversity
    return tree[["treatment", "seed", "frame"] + ([] if tree.empty else list(tr.TREE_MEASURES))]


def per_frame_values(results):
    """A row per run and stats row: treatment, seed, frame, the stats columns,
    mean_<gene> for every gene and the tree of the living's figures."""
    keys = ["treatment", "seed", "frame"]
    return results.stats.merge(results.gene_means, on=keys, how="left").merge(tree_figures(results), on=keys,
                                                                               how="left")


def bands(values, frames, order):
    """bands.csv's table, from per_frame_values restricted to the common frames."""
    measures = [c for c in values.columns if c not in ("treatment", "seed", "frame")]
    keep = pd.Series([f in frames.get(t, ()) for t, f in zip(values["treatment"], values["frame"])],
                     index=values.index, dtype=bool)
    values = values[keep]
    if values.empty:
        return pd.DataFrame(columns=BANDS_COLUMNS)
    grouped = values.groupby(["treatment", "frame"], sort=False)[measures]
    parts = {"n": grouped.count(), "mean": grouped.mean(), "sd": grouped.std(),
             "median": grouped.median(), "q1": grouped.quantile(0.25), "q3": grouped.quantile(0.75)}
    long = pd.DataFrame({k: v.stack(dropna=False) for k, v in parts.items()})
    long.index.names = ["treatment", "frame", "measure"]
    long = long.reset_index()
    n = long["n"].to_numpy()
    with np.errstate(invalid="ignore", divide="ignore"):
        half = np.where(n >= 2, sps.t.ppf(0.975, np.maximum(n - 1, 1)) * long["sd"] / np.sqrt(n),
                        np.nan)
    long["ci_low"] = long["mean"] - half
    long["ci_high"] = long["mean"] + half
    rank = {t: i for i, t in enumerate(order)}
    long["_t"] = long["treatment"].map(rank)
    long["_m"] = long["measure"].map({m: i for i, m in enumerate(measures)})
    long = long.sort_values(["_t", "frame", "_m"], kind="stable")
    return long[BANDS_COLUMNS].reset_index(drop=True)


def final_values(results, frame):
    """A row per run: treatment, seed and each final measure at that frame."""
    s = results.stats[results.stats["frame"] <= frame]
    keys = ["treatment", "seed"]
    at = s[s["frame"] == frame][keys + ["alive", "level", "genotypes"]]
    totals = s.groupby(keys, sort=False)[list(tr.ARRIVALS_AND_DEATHS)].sum().reset_index()
    genes, tree = results.gene_means, tree_figures(results)
    genes = genes[genes["frame"] == frame].drop(columns="frame")
    tree = tree[tree["frame"] == frame].drop(columns="frame")
    out = at.merge(totals, on=keys).merge(genes, on=keys, how="left").merge(tree, on=keys, how="left")
    return out[keys + [m for m in final_measures() if m in out.columns]]


def compare(final, order, frame):
    """tests.csv's table: Kruskal-Wallis and the pairs' Mann-Whitney U for each measure."""
    rows = []
    for measure in [m for m in final_measures() if m in final.columns]:
        groups = [(t, final.loc[final["treatment"] == t, measure].dropna().to_numpy(dtype=float))
                  for t in order]
        groups = [(t, v) for t, v in groups if len(v) >= 2]
        if len(groups) < 2:
            continue
        try:
            h, p = sps.kruskal(*[v for _, v in groups])
        except ValueError:  # every value equal
            h, p = math.nan, math.nan
        rows.append({"measure": measure, "frame": frame, "test": "kruskal",
                     "n": sum(len(v) for _, v in groups), "statistic": h, "p": p})
        pairs = []
        for i, (a, x) in enumerate(groups):
            for b, y in groups[i + 1:]:
                u, p = sps.mannwhitneyu(x, y, alternative="two-sided")
                pairs.append({"measure": measure, "frame": frame, "test": "mannwhitney",
                              "treatment_a": a, "treatment_b": b, "n": len(x) + len(y),
                              "n_a": len(x), "n_b": len(y), "statistic": u, "p": p,
                              "vd_a": vargha_delaney(u, len(x), len(y))})
        for row, adjusted in zip(pairs, holm([r["p"] for r in pairs])):
            row["p_holm"] = adjusted
        rows += pairs
    table = pd.DataFrame(rows, columns=TESTS_COLUMNS)
    for c in ("n", "n_a", "n_b"):
        table[c] = table[c].astype("Int64")
    return table


def write_csv(table, path):
    tmp = path.with_name(path.name + ".tmp")
    table.to_csv(tmp, index=False, float_format=FLOAT_FORMAT)
    os.replace(tmp, path)


def gnuplot_string(text):
    return "'" + str(text).replace("'", "''") + "'"


def draw_pictures(folder, band_table, final, order, frame):
    """The pictures, drawn by one gnuplot; returns (names drawn, error or None)."""
    if shutil.which("gnuplot") is None:
        return [], "gnuplot is missing: no pictures (tools/deps.sh installs it)"
    colour = {t: COLOURS[i % len(COLOURS)] for i, t in enumerate(order)}
    script, drawn = [], []
    work = Path(tempfile.mkdtemp(prefix=".summary-", dir=folder))
    try:
        script.append("cd " + gnuplot_string(work))
        for k, measure in enumerate(PICTURE_MEASURES):
            rows = band_table[band_table["measure"] == measure]
            files, names = [], []
            for i, t in enumerate(order):
                b = rows[(rows["treatment"] == t) & rows["mean"].notna()]
                if b.empty:
                    continue
                low = b["ci_low"].fillna(b["mean"])
                high = b["ci_high"].fillna(b["mean"])
                name = f"b{k}-{i}.dat"
                np.savetxt(work / name, np.column_stack([b["frame"], b["mean"], low, high]), "%.10g")
                files.append(name)
                names.append(t)
            if files:
                picture = f"summary-{measure}.png"
                script.append(_plot_call(files, names, colour, picture,
                                         f"{measure}: each treatment's mean over its runs, "
                                         "with the 95 % confidence interval of the mean",
                                         describe(measure), "sweep_bands_plot.gp"))
                drawn.append(picture)
            files, names = [], []
            if final is not None and measure in final:
                for i, t in enumerate(order):
                    v = final.loc[final["treatment"] == t, measure].dropna()
                    if v.empty:
                        continue
                    name = f"f{k}-{i}.dat"
                    np.savetxt(work / name, v.to_numpy(dtype=float), "%.10g")
                    box = [len(files) + 1, v.quantile(0.25), v.min(), v.max(), v.quantile(0.75),
                           v.median()]
                    np.savetxt(work / f"q{name}", [box], "%.10g")
                    files.append(name)
                    names.append(t)
            if files:
                picture = f"summary-{measure}-final.png"
                script.append("boxes = " + gnuplot_string(" ".join("q" + f for f in files)))
                script.append(_plot_call(files, names, colour, picture,
                                         f"{measure} at frame {frame}, each run a dot",
                                         describe(measure), "sweep_final_plot.gp"))
                drawn.append(picture)
        done = subprocess.run(["gnuplot"], input="\n".join(script) + "\n", text=True,
                              capture_output=True)
        missing = [p for p in drawn if not (work / p).is_file()]
        if done.returncode != 0 or missing:
            why = (done.stderr.strip().splitlines() or ["no picture"])[-1]
            return [], f"gnuplot failed: {why}"
        for picture in drawn:
            os.replace(work / picture, folder / picture)
        return drawn, None
    finally:
        shutil.rmtree(work, ignore_errors=True)


def _plot_call(files, names, colour, outfile, title, ylab, script):
    words = lambda items: gnuplot_string(" ".join(items))  # noqa: E731
    return (f"files = {words(files)}; names = {words(names)}; "
            f"colours = {words(colour[n] for n in names)}; outfile = {gnuplot_string(outfile)}; "
            f"plottitle = {gnuplot_string(title)}; ylab = {gnuplot_string(ylab)}\n"
            f"load {gnuplot_string(PICTURE_DIR / script)}")


PAGE_STYLE = """body{font-family:system-ui,sans-serif;line-height:1.45;color:#1d1d1f;background:#fff;max-width:66rem;margin:0 auto;padding:0 1rem 3rem}
h1{font-size:1.6rem}
h2{font-size:1.2rem;margin:2rem 0 .6rem;padding-bottom:.2rem;border-bottom:1px solid #d0d0d0}
h3{font-size:1rem;margin:1.4rem 0 .4rem}
.scroll{overflow-x:auto}
table{border-collapse:collapse;font-variant-numeric:tabular-nums}
th,td{padding:.25rem .6rem;text-align:right;border-bottom:1px solid #ececec;white-space:nowrap}
th:first-child,td:first-child{text-align:left}
thead th{border-bottom:2px solid #c8c8c8}
th.runs,td.runs{white-space:normal;text-align:left}
td.sig{font-weight:bold;background:#fff3c4}
.notes{background:#fdf1f0;border-left:4px solid #d62728;padding:.4rem 1rem}
img{max-width:100%;height:auto}
figure{margin:.6rem 0}"""


def _number(value, digits=4):
    if value is None or (isinstance(value, float) and math.isnan(value)) or value is pd.NA:
        return ""
    if isinstance(value, (int, np.integer)):
        return str(value)
    return f"{value:.{digits}g}"


def _p_cell(p):
    if p is None or p is pd.NA or (isinstance(p, float) and math.isnan(p)):
        return "<td></td>"
    text = f"{p:.3g}" if p >= 0.001 else f"{p:.2e}"
    return f'<td class="sig">{text} *</td>' if p < 0.05 else f"<td>{text}</td>"


def _link(path, text):
    return f'<a href="{html.escape(quote(path))}">{html.escape(text)}</a>'


def write_page(folder, results, notes, tests, frame, pictures):
    e = html.escape
    title = e(folder.resolve().name)
    runs = results.runs
    out = [f"""<!DOCTYPE html>
<html lang="en">
<head>
<meta charset="utf-8">
<meta name="viewport" content="width=device-width, initial-scale=1">
<title>Sweep {title}</title>
<style>
{PAGE_STYLE}
</style>
</head>
<body>
<h1>Sweep {title}</h1>"""]
    finished = int(runs["finished"].sum())
    compared = f", compared at frame {frame}" if frame is not None else ""
    out.append(f"<p>{finished} finished runs of {len(results.treatments)} treatments{compared}. "
               f"The numbers: {_link('summary.csv', 'summary.csv')} (a row per run), "
               f"{_link('bands.csv', 'bands.csv')} (means and intervals over frames), "
               f"{_link('tests.csv', 'tests.csv')} (the tests).</p>")
    if notes:
        out.append('<div class="notes"><ul>' + "".join(f"<li>{e(n)}</li>" for n in notes)
                   + "</ul></div>")

    out.append("<h2>Treatments</h2>")
    params = list(results.treatments.columns[1:])
    out.append('<div class="scroll"><table><thead><tr><th>treatment</th>'
               + "".join(f"<th>{e(p)}</th>" for p in params)
               + "<th>runs</th><th>not finished</th><th class=\"runs\">seeds (each run's page)</th>"
               "</tr></thead><tbody>")
    old = results.treatments["treatment"].tolist() == [tr.OLD_LAYOUT_TREATMENT] and not (
        folder / "treatments.csv").exists()
    for _, row in results.treatments.iterrows():
        t = row["treatment"]
        mine = runs[(runs["treatment"] == t) & runs["finished"]]
        base = "" if old else t + "/"
        name = e(t)
        if (folder / base / "params.toml").is_file() and base:
            name = _link(base + "params.toml", t)
        seeds = []
        for seed, path in zip(mine["seed"], mine["folder"]):
            seeds.append(_link(f"{base}seed-{seed}/report.html", str(seed))
                         if (path / "report.html").is_file() else str(seed))
        waiting = int(((runs["treatment"] == t) & ~runs["finished"]).sum())
        out.append(f"<tr><td>{name}</td>" + "".join(f"<td>{e(str(row[p]))}</td>" for p in params)
                   + f'<td>{len(mine)}</td><td>{waiting}</td><td class="runs">{" ".join(seeds)}</td></tr>')
    out.append("</tbody></table></div>")

    unfinished = runs[~runs["finished"]]
    if len(unfinished):
        out.append("<h2>Not finished</h2><p>Left out of every table and picture.</p><ul>")
        for t, seed, path, why in zip(unfinished["treatment"], unfinished["seed"],
                                      unfinished["folder"], unfinished["unfinished"]):
            where = f"{'' if old else t + '/'}seed-{seed}"
            label = f"{where} ({why})"
            out.append("<li>" + (_link(where + "/report.html", label)
                                 if (path / "report.html").is_file() else e(label)) + "</li>")
        out.append("</ul>")

    out.append("<h2>Tests</h2>")
    pairs = []  # after the pictures: with many treatments the table is long
    if tests.empty:
        out.append("<p>No test: there are not two treatments with two runs or more to compare "
                   "(see the notes above).</p>")
    else:
        out.append(f"<p>At frame {frame}: the final value of each measure (arrivals and deaths "
                   "summed over the run up to there). Kruskal-Wallis across the treatments "
                   "(H, corrected for ties; p from chi-square), and for each pair the two-sided "
                   "Mann-Whitney U test with its p, Holm's adjustment of it over the pairs of "
                   "the same measure, and the Vargha-Delaney A (the chance that a run of the "
                   "first has the larger value; 0.5 is no difference). A p below 0.05 is marked *. "
                   "An empty p: every value was equal.</p>")
        out.append("<p>Each pair of treatments is in the table at the end of the page.</p>")
        out.append('<div class="scroll"><table><thead><tr><th>measure</th><th>runs</th>'
                   "<th>H</th><th>p</th></tr></thead><tbody>")
        for _, r in tests[tests["test"] == "kruskal"].iterrows():
            out.append(f"<tr><td>{e(r['measure'])}</td><td>{r['n']}</td>"
                       f"<td>{_number(r['statistic'])}</td>{_p_cell(r['p'])}</tr>")
        out.append("</tbody></table></div>")
        pairs.append('<h2>Pairs of treatments</h2><div class="scroll"><table><thead><tr><th>measure</th>'
                   "<th>a</th><th>b</th><th>runs a</th><th>runs b</th><th>U</th><th>p</th>"
                   "<th>Holm p</th><th>A</th></tr></thead><tbody>")
        for _, r in tests[tests["test"] == "mannwhitney"].iterrows():
            pairs.append(f"<tr><td>{e(r['measure'])}</td><td>{e(r['treatment_a'])}</td>"
                       f"<td>{e(r['treatment_b'])}</td><td>{r['n_a']}</td><td>{r['n_b']}</td>"
                       f"<td>{_number(r['statistic'])}</td>{_p_cell(r['p'])}"
                       f"{_p_cell(r['p_holm'])}<td>{_number(r['vd_a'], 3)}</td></tr>")
        pairs.append("</tbody></table></div>")

    if pictures:
        out.append("<h2>Pictures</h2>")
        for measure in PICTURE_MEASURES:
            mine = [p for p in (f"summary-{measure}.png", f"summary-{measure}-final.png")
                    if p in pictures]
            if not mine:
                continue
            out.append(f"<h3>{e(measure)}: {e(describe(measure))}</h3>")
            for p in mine:
                what = (f"{measure} at frame {frame} by treatment, a box plot with each run a dot"
                        if p.endswith("-final.png") else
                        f"{measure} over frames: each treatment's mean and its 95 % confidence band")
                out.append(f'<figure><img src="{e(quote(p))}" alt="{e(what)}">'
                           f"<figcaption>{e(what)}</figcaption></figure>")
    out += pairs
    out.append("</body>\n</html>\n")
    page = folder / "summary.html"
    tmp = page.with_name(page.name + ".tmp")
    tmp.write_text("\n".join(out), encoding="utf-8")
    os.replace(tmp, page)


def summarize(folder):
    """Writes the summary of the sweep in folder; returns the exit status."""
    folder = Path(folder)
    notes = []

    def note(text):
        notes.append(text)
        print("sweep: " + text, file=sys.stderr)

    try:
        results = tr.load(folder)
        if not results.is_sweep:
            raise tr.NotASweep(f"{folder} is one experiment, not a sweep "
                               "(a sweep holds treatments.csv or seed-S folders)")
        summary = results.summary
        values = per_frame_values(results) if len(summary) else None
    except tr.NotASweep as err:
        print(f"sweep: {err}", file=sys.stderr)
        return 2
    except (OSError, ValueError, KeyError, pd.errors.ParserError) as err:
        print(f"sweep: {folder}: a run's files cannot be read: {err}", file=sys.stderr)
        return 2

    order = list(results.treatments["treatment"])
    runs = results.runs
    for path, why in zip(runs["folder"], runs["unfinished"]):
        if why:
            note(f"{path.relative_to(folder)} has not finished ({why}); left out")
    if not runs["finished"].any():
        note("no run has finished: nothing to summarise")
        write_csv(summary, folder / "summary.csv")
        write_csv(pd.DataFrame(columns=BANDS_COLUMNS), folder / "bands.csv")
        write_csv(pd.DataFrame(columns=TESTS_COLUMNS), folder / "tests.csv")
        write_page(folder, results, notes, pd.DataFrame(columns=TESTS_COLUMNS), None, [])
        return 1
    counts = runs[runs["finished"]].groupby("treatment")["seed"].count()
    for t in order:
        n = int(counts.get(t, 0))
        if n == 0:
            note(f"treatment {t} has no finished run")
        elif n == 1:
            note(f"treatment {t} has one run: no interval and no test for it")

    frames = common_frames(values)
    ends = values.groupby(["treatment", "seed"], sort=False)["frame"].max()
    for t in order:
        if t in ends.index.get_level_values(0):
            last = ends.loc[t]
            if last.min() != last.max():
                upto = frames[t][-1] if frames.get(t) else None
                note(f"treatment {t}: its runs end at frames {last.min()} to {last.max()}; "
                     f"compared up to frame {upto}, the last they all have a row for")
    shared = set.intersection(*[set(f) for f in frames.values()]) if frames else set()
    frame = max(shared) if shared else None
    cuts = {f[-1] for f in frames.values() if f}
    if frame is None and frames:
        note("no frame has a row in every run: no test")
    elif len(cuts) > 1:
        note(f"the treatments' runs reach different frames: the tests compare them at "
             f"frame {frame}, the last every run has a row for")

    band_table = bands(values, frames, order)
    final = final_values(results, frame) if frame is not None else None
    tests = compare(final, order, frame) if final is not None else pd.DataFrame(columns=TESTS_COLUMNS)
    if len(order) == 1:
        note("one treatment: nothing to compare, tests.csv holds no test")
    elif tests.empty and frame is not None:
        note("fewer than two treatments have two runs or more: tests.csv holds no test")

    write_csv(summary, folder / "summary.csv")
    write_csv(band_table, folder / "bands.csv")
    write_csv(tests, folder / "tests.csv")
    pictures, failure = draw_pictures(folder, band_table, final, order, frame)
    if failure:
        print("sweep: " + failure, file=sys.stderr)
        notes.append(failure)
    write_page(folder, results, notes, tests, frame, pictures)
    print(f"sweep: {len(summary)} runs in {folder / 'summary.csv'}; bands.csv, tests.csv, "
          f"{len(pictures)} pictures and summary.html beside it")
    return 1 if failure else 0


def main(argv):
    if len(argv) != 2 or argv[1].startswith("-"):
        print("usage: summarize_sweep.py DIR   (the summary of the sweep in DIR)", file=sys.stderr)
        return 2
    return summarize(argv[1])


if __name__ == "__main__":
    sys.exit(main(sys.argv))
