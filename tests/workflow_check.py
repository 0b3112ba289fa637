"""Runs the cohort workflow on small bones with two cores and checks the cohort table:

- on a fresh results folder: two complete bones, one with a cut-short cortical file and
  one whose mesh path is wrong, each failed with its reason, and each complete row's
  values equal to that bone's own run;
- on that old folder, after a bone's mesh goes missing and another bone's input changes:
  both run again, and the first fails with its reason;
- changing the threads reruns nothing; a new build of the tool reruns every bone.

    python3 workflow_check.py <verdask binary> <make_bone binary> <source dir>
"""
import csv
import json
import os
import re
import shutil
import subprocess
import sys
import tempfile

INPUTS = ["mesh.hmascii", "cort.surf", "norm.vtk", "trab.surf"]
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)


def snakemake(work, source, *extra):
    done = subprocess.run(
        ["snakemake", "--snakefile", os.path.join(source, "workflow", "Snakefile"),
         "--configfile", os.path.join(work, "config.yaml"), "--cores", "2", "--keep-going",
         "--directory", work, "--quiet", *extra], capture_output=True, text=True)
    check(done.returncode == 0, f"snakemake {extra} exit {done.returncode}: {done.stderr[-2000:]}")
    return done.stdout + done.stderr


def table(work):
    return {row["id"]: row for row in csv.DictReader(open(os.path.join(work, "results", "cohort.csv")))}


def check_own_runs(work, verdask, rows):
    """Each complete row against the bone's own run, with the same options."""
    for bone, options in (("alpha", ["-min", "0.8"]), ("beta", ["-surface"])):
        own = os.path.join(work, bone, "own")
        os.makedirs(own, exist_ok=True)
        subprocess.run([verdask] + [os.path.join(work, bone, n) for n in INPUTS] + options +
                       ["-json", "run.json"], cwd=own, capture_output=True, check=True)
        record = json.load(open(os.path.join(own, "run.json")))
        want = {"measure": "surface" if "-surface" in options else "vertex",
                "options": " ".join(options),
                "triangles": record["counts"]["triangles"],
                "thickness_mean_mm": record["thickness"]["mean"],
                "thickness_std_dev_mm": record["thickness"]["std_dev"],
                "raised_to_minimum": record["raised_to_minimum"],
                "mesh_to_cortical_p95_mm": record["mesh_to_cortical"]["percentile_95"]}
        for column, value in want.items():
            got = rows.get(bone, {}).get(column)
            check(str(value) == got, f"{bone} {column}: {got} != {value}")


def main():
    verdask, make_bone, source = (os.path.abspath(a) for a in sys.argv[1:4])
    with tempfile.TemporaryDirectory() as work:
        for bone, seed in (("alpha", "1"), ("beta", "2")):
            os.mkdir(os.path.join(work, bone))
            subprocess.run([make_bone, os.path.join(work, bone), "300", "2000", seed], check=True,
                           capture_output=True)
        shutil.copytree(os.path.join(work, "alpha"), os.path.join(work, "broken"))
        with open(os.path.join(work, "broken", "cort.surf"), "r+") as cortical:
            cortical.truncate(200)  # the vertex block ends early
        tool = os.path.join(work, "verdask")
        shutil.copy(verdask, tool)
        with open(os.path.join(work, "samples.csv"), "w") as samples:
            samples.write("id,mesh,cortical,normals,trabecular,min,surface\n")
            for bone, folder, extra in (("alpha", "alpha", "0.8,"), ("beta", "beta", ",yes"),
                                        ("broken", "broken", ","), ("ghost", "alpha", ",")):
                paths = ",".join(os.path.join(work, folder, name) for name in INPUTS)
                if bone == "ghost":  # a wrong path
                    paths = paths.replace("alpha/mesh", "nowhere/mesh")
                samples.write(f"{bone},{paths},{extra}\n")
        with open(os.path.join(work, "config.yaml"), "w") as config:
            config.write(f"samples: {work}/samples.csv\nverdask: {tool}\nresults: {work}/results\n")

        snakemake(work, source)
        rows = table(work)
        check([(r["id"], r["status"], r["exit_code"]) for r in rows.values()] ==
              [("alpha", "complete", "0"), ("beta", "complete", "0"), ("broken", "failed", "254"),
               ("ghost", "failed", "")], f"fresh rows {rows}")
        check(rows["broken"]["reason"].endswith("Failure parsing vertices in cort.surf file") and
              rows["broken"]["cortical_vertices"] == "" and rows["broken"]["mesh_vertices"] == "297",
              f"broken row {rows['broken']}")
        check(rows["ghost"]["reason"] == f"mesh file '{work}/nowhere/mesh.hmascii' cannot be read",
              f"ghost row {rows['ghost']}")
        check(sorted(os.listdir(os.path.join(work, "results", "broken"))) == ["run.json", "verdask.log"],
              "a failed bone's folder holds its record and log only")
        check_own_runs(work, verdask, rows)
        check(open(os.path.join(work, "results", "cohort.png"), "rb").read(8) == b"\x89PNG\r\n\x1a\n",
              "cohort.png is not a PNG picture")
        fresh = open(os.path.join(work, "results", "cohort.csv")).read()

        # The old folder: alpha's mesh goes, beta's trabecular file changes.
        os.rename(os.path.join(work, "alpha", "mesh.hmascii"), os.path.join(work, "alpha", "gone"))
        beta_record = os.path.join(work, "results", "beta", "run.json")
        os.utime(beta_record, (1, 1))
        snakemake(work, source)
        rows = table(work)
        check(rows["alpha"]["status"] == "failed" and "mesh file" in rows["alpha"]["reason"],
              f"alpha on the old folder {rows['alpha']}")
        check(os.stat(beta_record).st_mtime > 1, "beta did not run again")

        check("Nothing to be done" in snakemake(work, source, "-n", "--config", "threads=2"),
              "changing the threads reruns bones")
        with open(tool, "ab") as binary:
            binary.write(b"\0")  # a new build
        planned = snakemake(work, source, "-n")
        bones = re.search(r"^bone +(\d+)", planned, re.M)
        check(bones and bones.group(1) == "4", f"a new build reruns every bone: {planned[-1500:]}")
    if failures:
        print("\n".join(failures))
        sys.exit(1)
    print(fresh, end="")


main()
