"""Gathers the bones' run records into results/cohort.csv and a box plot of the
thickness per bone into results/cohort.png. Run by the workflow's cohort rule."""
import csv
import json
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

# The workflow's own options, left out of the options column.
OWN_OPTIONS = ("-threads", "-vtk", "-nodal", "-json")


def columns(unit):
    return (["id", "status", "exit_code", "reason", "measure", "options", "warnings",
             "mesh_vertices", "triangles", "cortical_vertices", "trabecular_vertices"] +
            [f"thickness_{name}_{unit}" for name in ("min", "mean", "max", "std_dev")] +
            ["raised_to_minimum", "lowered_to_maximum", "angles_not_a_number"] +
            [f"mesh_to_cortical_{name}_{unit}" for name in ("median", "p95", "max")])


def options_of(command_line):
    """The options a bone ran with: its command line after the four inputs, less the
    workflow's own."""
    words, chosen = command_line[5:], []
    while words:
        word = words.pop(0)
        if word in OWN_OPTIONS:
            words = words[1:]
        else:
            chosen.append(word)
    return chosen


def measure_of(options):
    """The measure a bone ran with: -measure NAME, -surface, or the default."""
    measure = "vertex"
    for word, following in zip(options, options[1:] + [""]):
        if word == "-surface":
            measure = "surface"
        elif word == "-measure":
            measure = following
    return measure


def row_of(bone, record, unit):
    counts = record.get("counts") or {}
    thickness = record.get("thickness") or {}
    line_up = record.get("mesh_to_cortical") or {}
    options = options_of(record.get("command_line") or [])
    complete = record.get("exit_code") == 0 and bool(thickness)
    row = {
        "id": bone,
        "status": "complete" if complete else "failed",
        "exit_code": record.get("exit_code"),
        "reason": None if complete else record.get("failure"),
        "measure": measure_of(options),
        "options": " ".join(options),
        "warnings": " | ".join(record.get("warnings") or []),
        "raised_to_minimum": record.get("raised_to_minimum"),
        "lowered_to_maximum": record.get("lowered_to_maximum"),
        "angles_not_a_number": record.get("angles_not_a_number"),
    }
    for name in ("mesh_vertices", "triangles", "cortical_vertices", "trabecular_vertices"):
        row[name] = counts.get(name)
    for name, key in (("min", "minimum"), ("mean", "mean"), ("max", "maximum"),
                      ("std_dev", "std_dev")):
        row[f"thickness_{name}_{unit}"] = thickness.get(key)
    for name, key in (("median", "median"), ("p95", "percentile_95"), ("max", "maximum")):
        row[f"mesh_to_cortical_{name}_{unit}"] = line_up.get(key)
    return row


def thickness_of(directory):
    """The stored thickness of every mesh vertex at full precision, from the bone's
    nodal table (node, thickness)."""
    lines = open(os.path.join(directory, "nodal.inp")).read().splitlines()[1:]
    return [float(line.split(",")[1]) for line in lines]


def plot_cohort(rows, thickness, unit, path):
    complete = [row for row in rows if row["status"] == "complete"]
    figure, axes = plt.subplots(figsize=(max(6, 1 + 0.9 * len(rows)), 4), dpi=100)
    if complete:
        labels = []
        for row in complete:
            clamped = (row["raised_to_minimum"] or 0) + (row["lowered_to_maximum"] or 0)
            labels.append(f"{row['id']}\n{clamped} clamped" if clamped else row["id"])
        boxes = axes.boxplot([thickness[row["id"]] for row in complete], labels=labels,
                             patch_artist=True)
        for box, row in zip(boxes["boxes"], complete):
            clamped = (row["raised_to_minimum"] or 0) + (row["lowered_to_maximum"] or 0)
            box.set_facecolor("#f4a582" if clamped else "#d1e5f0")
    failed = [row["id"] for row in rows if row["status"] == "failed"]
    axes.set_title("cortical thickness per bone (orange: with clamped nodes)")
    if failed:
        axes.set_xlabel(f"failed, not shown: {', '.join(failed)}")
    axes.set_ylabel(f"cortical thickness ({unit})")
    figure.tight_layout()
    figure.savefig(path)


def main(records, ids, table, plot, unit):
    rows, thickness = [], {}
    for bone, path in zip(ids, records):
        row = row_of(bone, json.load(open(path)), unit)
        rows.append(row)
        if row["status"] == "complete":
            thickness[bone] = thickness_of(os.path.dirname(path))
    with open(table, "w", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=columns(unit))
        writer.writeheader()
        writer.writerows({k: ("" if v is None else v) for k, v in row.items()} for row in rows)
    plot_cohort(rows, thickness, unit, plot)


main(snakemake.input.records, snakemake.params.ids, snakemake.output.table,  # noqa: F821
     snakemake.output.plot, snakemake.params.unit)  # noqa: F821
