"""Runs the cohort workflow on three small bones, one of them broken, with two
cores, and checks the cohort table: two complete rows and one failed row, and
each complete row's values equal to that bone's own run.

    python3 workflow_check.py <verdask binary> <make_bone binary> <source dir>
"""
import csv
import json
import os
import shutil
import subprocess
import sys
import tempfile

INPUTS = ["mesh.hmascii", "cort.surf", "norm.vtk", "trab.surf"]


def main():
    verdask, make_bone, source = (os.path.abspath(a) for a in sys.argv[1:4])
    failures = []
    with tempfile.TemporaryDirectory() as work:
        for bone, seed in (("alpha", "1"), ("beta", "2")):
            os.mkdir(os.path.join(work, bone))
            subprocess.run([make_bone, os.path.join(work, bone), "300", "2000", seed], check=True)
        shutil.copytree(os.path.join(work, "alpha"), os.path.join(work, "broken"))
        with open(os.path.join(work, "broken", "cort.surf"), "r+") as cortical:
            cortical.truncate(200)  # the vertex block ends early
        with open(os.path.join(work, "samples.csv"), "w") as samples:
            samples.write("id,mesh,cortical,normals,trabecular,min,surface\n")
            for bone, extra in (("alpha", "0.8,"), ("beta", ",yes"), ("broken", ",")):
                paths = ",".join(os.path.join(work, bone, name) for name in INPUTS)
                samples.write(f"{bone},{paths},{extra}\n")
        with open(os.path.join(work, "config.yaml"), "w") as config:
            config.write(f"samples: {work}/samples.csv\nverdask: {verdask}\nresults: {work}/results\n")
        done = subprocess.run(
            ["snakemake", "--snakefile", os.path.join(source, "workflow", "Snakefile"),
             "--configfile", os.path.join(work, "config.yaml"), "--cores", "2", "--keep-going",
             "--directory", work, "--quiet"], capture_output=True, text=True)
        if done.returncode != 0:
            failures.append(f"snakemake exit {done.returncode}: {done.stderr[-2000:]}")
        rows = {row["id"]: row for row in csv.DictReader(open(os.path.join(work, "results", "cohort.csv")))}
        if sorted((row["id"], row["status"]) for row in rows.values()) != [
                ("alpha", "complete"), ("beta", "complete"), ("broken", "failed")]:
            failures.append(f"cohort rows {rows}")
        if rows.get("broken", {}).get("exit_code") != "254":
            failures.append(f"the broken bone's exit code: {rows.get('broken')}")
        # Each complete row against the bone's own run, with the same options.
        for bone, options in (("alpha", ["-min", "0.8"]), ("beta", ["-surface"])):
            own = os.path.join(work, bone, "own")
            os.mkdir(own)
            subprocess.run([verdask] + [os.path.join(work, bone, n) for n in INPUTS] + options +
                           ["-json", "run.json"], cwd=own, capture_output=True, check=True)
            record = json.load(open(os.path.join(own, "run.json")))
            want = {"mesh_vertices": record["counts"]["mesh_vertices"],
                    "triangles": record["counts"]["triangles"],
                    "thickness_min": record["thickness"]["minimum"],
                    "thickness_mean": record["thickness"]["mean"],
                    "thickness_max": record["thickness"]["maximum"],
                    "thickness_std_dev": record["thickness"]["std_dev"],
                    "raised_to_minimum": record["raised_to_minimum"]}
            for column, value in want.items():
                if str(value) != rows.get(bone, {}).get(column):
                    failures.append(f"{bone} {column}: {rows.get(bone, {}).get(column)} != {value}")
        if open(os.path.join(work, "results", "cohort.png"), "rb").read(8) != b"\x89PNG\r\n\x1a\n":
            failures.append("cohort.png is not a PNG picture")
        table = open(os.path.join(work, "results", "cohort.csv")).read()
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print(table, end="")


main()
