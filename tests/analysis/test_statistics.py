"""tests.csv on samples whose results are published, Holm's adjustment and the Vargha-Delaney A."""
import math

import numpy as np
import pandas as pd
import pytest
from scipy import stats

from conftest import make_sweep, summarize
from summarize_sweep import holm, vargha_delaney


def alive_tests(folder):
    done = summarize(folder)
    assert done.returncode in (0, 1), done.stderr
    t = pd.read_csv(folder / "tests.csv", keep_default_na=False, na_values=[""])
    return t[t["measure"] == "alive"].set_index(["test", "treatment_a", "treatment_b"], drop=False)


def test_kruskal_wallis_and_pairs_of_a_published_sample(tmp_path):
    # Hollander & Wolfe (1973), Nonparametric Statistical Methods, p. 116 (the
    # example of R's kruskal.test): mucociliary efficiency of normal subjects,
    # subjects with obstructive airway disease and with asbestosis; here times 10.
    # Published: chi-squared = 0.77143, df = 2, p = 0.68. No ties, so H is
    # exactly 27/35, and with two degrees of freedom p = exp(-H / 2).
    samples = {"normal": [29, 30, 25, 26, 32], "airway": [38, 27, 40, 24],
               "asbestosis": [28, 34, 37, 22, 20]}
    t = alive_tests(make_sweep(tmp_path / "kw", samples))
    kw = t[t["test"] == "kruskal"].iloc[0]
    assert kw["statistic"] == pytest.approx(27 / 35, rel=1e-6)
    assert kw["p"] == pytest.approx(math.exp(-27 / 70), rel=1e-6)
    assert (kw["n"], kw["frame"]) == (14, 100)
    pairs = t[t["test"] == "mannwhitney"]
    assert [tuple(ab) for ab in pairs[["treatment_a", "treatment_b"]].to_numpy()] == [
        ("normal", "airway"), ("normal", "asbestosis"), ("airway", "asbestosis")]
    # Each pair as SciPy gives it to anyone who asks, and Holm over the three.
    expected = [stats.mannwhitneyu(samples[a], samples[b], alternative="two-sided")
                for a, b in pairs[["treatment_a", "treatment_b"]].to_numpy()]
    np.testing.assert_allclose(pairs["statistic"], [e.statistic for e in expected], rtol=1e-6)
    np.testing.assert_allclose(pairs["p"], [e.pvalue for e in expected], rtol=1e-6)
    np.testing.assert_allclose(pairs["p_holm"], holm([e.pvalue for e in expected]), rtol=1e-6)


def test_mann_whitney_of_a_published_sample(tmp_path):
    # Hollander & Wolfe (1973), p. 69 (the example of R's wilcox.test):
    # permeability constants of the chorioamnion at term (x) and at 12 to 26
    # weeks (y), here times 100. Published: W = 35, one-sided p = 0.1272. No
    # ties and 5 values in y: the exact test, p = 382/3003 one-sided, so
    # two-sided 764/3003; A = 35 / (10 * 5).
    x = [80, 83, 189, 104, 145, 138, 191, 164, 73, 146]
    y = [115, 88, 90, 74, 121]
    row = alive_tests(make_sweep(tmp_path / "mw", {"term": x, "early": y})).loc[
        ("mannwhitney", "term", "early")]
    assert (row["n_a"], row["n_b"], row["statistic"]) == (10, 5, 35)
    assert row["p"] == pytest.approx(764 / 3003, rel=1e-6)
    assert row["p"] == pytest.approx(2 * 0.1272, abs=1e-4)
    assert row["p_holm"] == row["p"]  # one pair: a family of one
    assert row["vd_a"] == pytest.approx(0.7, rel=1e-9)


def test_holm_on_a_published_example():
    # The example of the Holm-Bonferroni method's Wikipedia article: four
    # hypotheses with p = 0.01, 0.04, 0.03, 0.005 at alpha 0.05; H1 and H4 are
    # rejected. Adjusted by hand: 4 * 0.005, 3 * 0.01, then max(2 * 0.03, 0.03),
    # max(1 * 0.04, 0.06); a NaN is left out of the family.
    adjusted = holm([0.01, 0.04, 0.03, 0.005, float("nan")])
    np.testing.assert_allclose(adjusted[:4], [0.03, 0.06, 0.06, 0.02])
    assert list(adjusted[:4] < 0.05) == [True, False, False, True] and np.isnan(adjusted[4])
    assert holm([0.5, 0.6])[1] == 1.0  # never above 1


def test_vargha_delaney_by_hand():
    # a = 1, 2, 3 against b = 2, 4: of the 6 pairs a wins one (3 > 2) and ties
    # one (2 = 2), so A = (1 + 0.5) / 6 = 0.25.
    u = stats.mannwhitneyu([1, 2, 3], [2, 4], alternative="two-sided").statistic
    assert vargha_delaney(u, 3, 2) == 0.25
