"""Compares verdask's thickness with the generator's analytic truth.

    python3 bench/accuracy.py <truth.txt> <label> <ans.log> [<label> <ans.log> ...]

Prints per run: bias (mean error), RMS error, largest error, mean relative error and
the median angle, against truth.txt as make_bone writes it. The thickness comes at full
precision from the nodal table (nodal.inp) beside the ans.log where there is one.
"""
import os
import statistics
import sys


def read(path):
    rows = [line.split() for line in open(path).read().splitlines()[1:]]
    thickness, angles = [float(r[1]) for r in rows], [float(r[2]) for r in rows]
    nodal = os.path.join(os.path.dirname(path), "nodal.inp")
    if os.path.exists(nodal):
        thickness = [float(line.split(",")[1]) for line in open(nodal).read().splitlines()[1:]]
    return thickness, angles


truth, truth_angles = read(sys.argv[1])
print(f"{'run':24} {'bias mm':>8} {'RMS mm':>8} {'max mm':>8} {'rel %':>6} {'angle':>6}")
print(f"{'analytic':24} {'':>8} {'':>8} {'':>8} {'':>6} {statistics.median(truth_angles):6.1f}")
for label, path in zip(sys.argv[2::2], sys.argv[3::2]):
    thickness, angles = read(path)
    errors = [t - want for t, want in zip(thickness, truth)]
    rms = (sum(e * e for e in errors) / len(errors)) ** 0.5
    relative = 100 * statistics.mean(abs(e) / want for e, want in zip(errors, truth))
    finite = [a for a in angles if a == a]
    print(f"{label:24} {statistics.mean(errors):8.4f} {rms:8.4f} {max(map(abs, errors)):8.4f} "
          f"{relative:6.2f} {statistics.median(finite):6.1f}")
