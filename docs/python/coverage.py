# The example of the guide's "From Python" (docs/guide/python.md): a study in five lines and its coverage plot.
# PYTHONPATH=build/python /usr/bin/python3 docs/python/coverage.py  (writes docs/python/coverage.png)
import matplotlib
matplotlib.use("Agg")
import matplotlib.pyplot as plt
import veltrano

df = veltrano.study(n=[20, 50, 200], k=4, do="0:90:10", replications=2000, ci=True, seed=20261210)
du = df[df.estimator == "Du"]
for n, rows in du.groupby("n"):
    plt.errorbar(rows["do"], rows["ci_coverage"], yerr=1.96 * rows["ci_coverage_mcse"], marker="o", capsize=3,
                 label=f"n = {n}")
plt.axhline(0.95, color="grey", linestyle="--")
plt.xlabel("Do (%)")
plt.ylabel("coverage of Du's 95 % interval")
plt.legend()
plt.savefig(__file__.replace(".py", ".png"), dpi=90)
