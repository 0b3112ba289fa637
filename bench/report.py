"""Turns the benchmark's raw lines into one table: medians per size."""
import statistics
import sys
from collections import defaultdict

samples = defaultdict(lambda: defaultdict(list))
for line in open(sys.argv[1]):
    words = line.split()
    size = words[0]
    for pair in words[1:]:
        if "=" in pair:
            name, value = pair.split("=")
            key = name if words[1] in ("run",) or "=" in words[1] else f"{words[1]}.{name}"
            samples[size][key].append(float(value))

print(f"{'size':4} {'wall s':>7} {'RSS MB':>7} {'read':>6} {'parse':>6} {'MB/s':>6} "
      f"{'trees':>6} {'pass':>6} {'deck':>6} {'floor':>6} {'ratio':>6}")
for size, values in samples.items():
    m = {key: statistics.median(v) for key, v in values.items()}
    mb = m["bytes"] / 1e6
    parse = m["stages.parse"]
    trees = m["floor.trees"]
    ratio = m["wall"] / (m["floor.floor"] + m["floor.read"])
    print(f"{size:4} {m['wall']:7.2f} {max(values['rss_kb']) / 1024:7.0f} {m['floor.read']:6.3f} "
          f"{parse:6.3f} {mb / parse:6.0f} {trees:6.3f} {m['stages.pass'] - trees:6.3f} "
          f"{m['stages.deck']:6.3f} {m['floor.floor']:6.3f} {ratio:6.2f}")
print("pass: the per-vertex pass with its logs and the trees' release (pass time less the tree "
      "builds); ratio: wall / (floor + read)")
