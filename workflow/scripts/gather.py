"""Gathers the bones' run records into results/cohort.csv and a box plot of the
thickness per bone into results/cohort.png. Run by the workflow's cohort rule."""
import csv
import json
import os

import matplotlib

matplotlib.use("Agg")
import matplotlib.pyplot as plt  # noqa: E402

COLUMNS = ["id", "status", "exit_code", "mesh_vertices", "triangles", "cortical_vertices",
           "trabecular_vertices", "thickness_min", "thickness_mean", "thickness_max",
           "thickness_std_dev", "raised_to_minimum", "lowered_to_maximum", "angles_not_a_number"]


def row_of(bone, record):
    counts = record.get("counts", {})
    thickness = record.get("thickness", {})
    complete = record.get("exit_code") == 0 and bool(thickness)
    return {
        "id": bone,
        "status": "complete" if complete else "failed",
        "exit_code": record.get("exit_code"),
        "mesh_vertices": counts.get("mesh_vertices"),
        "triangles": counts.get("triangles"),
        "cortical_vertices": counts.get("cortical_vertices"),
        "trabecular_vertices": counts.get("trabecular_vertices"),
        "thickness_min": thickness.get("minimum"),
        "thickness_mean": thickness.get("mean"),
        "thickness_max": thickness.get("maximum"),
        "thickness_std_dev": thickness.get("std_dev"),
        "raised_to_minimum": record.get("raised_to_minimum"),
        "lowered_to_maximum": record.get("lowered_to_maximum"),
        "angles_not_a_number": record.get("angles_not_a_number"),
    }


def thickness_of(directory):
    """The stored thickness of every mesh vertex, from the bone's ans.log."""
    lines = open(os.path.join(directory, "ans.log")).read().splitlines()[1:]
    return [float(line.split("\t\t")[1].split("\t")[0]) for line in lines]


def main(records, ids, table, plot):
    rows, boxes, labels = [], [], []
    for bone, path in zip(ids, records):
        row = row_of(bone, json.load(open(path)))
        rows.append(row)
        if row["status"] == "complete":
            boxes.append(thickness_of(os.path.dirname(path)))
            labels.append(bone)
    with open(table, "w", newline="") as out:
        writer = csv.DictWriter(out, fieldnames=COLUMNS)
        writer.writeheader()
        writer.writerows({k: ("" if v is None else v) for k, v in row.items()} for row in rows)
    figure, axes = plt.subplots(figsize=(max(5, 1 + 0.8 * len(ids)), 4), dpi=100)
    if boxes:
        axes.boxplot(boxes, labels=labels)
    failed = [row["id"] for row in rows if row["status"] == "failed"]
    axes.set_title("cortical thickness per bone")
    if failed:
        axes.set_xlabel(f"failed, not shown: {', '.join(failed)}")
    axes.set_ylabel("thickness")
    figure.tight_layout()
    figure.savefig(plot)


main(snakemake.input.records, snakemake.params.ids, snakemake.output.table,  # noqa: F821
     snakemake.output.plot)  # noqa: F821
