#!/usr/bin/env python3
"""Checks the example CI files: YAML that parses, four shards that run the
suite mode and a merge of all four. Usage: check_ci_files.py FOLDER"""
import sys

import yaml


def fail(message):
    print("check_ci_files: " + message)
    sys.exit(1)


def main(folder):
    with open(folder + "/github-actions.yml") as f:
        github = yaml.safe_load(f)
    jobs = github["jobs"]
    if jobs["shard"]["strategy"]["matrix"]["shard"] != [1, 2, 3, 4]:
        fail("GitHub: the shard matrix is not 1 to 4")
    shard_steps = " ".join(str(s.get("run", "")) for s in jobs["shard"]["steps"])
    if "--mode=suite --shard ${{ matrix.shard }}/4" not in shard_steps:
        fail("GitHub: the shard job does not run its shard")
    if jobs["merge"]["needs"] != "shard":
        fail("GitHub: the merge does not wait for the shards")
    merge_steps = " ".join(str(s.get("run", "")) for s in jobs["merge"]["steps"])
    if "--mode=merge --out results results-1 results-2 results-3 results-4" not in merge_steps:
        fail("GitHub: the merge job does not merge four parts")

    with open(folder + "/gitlab-ci.yml") as f:
        gitlab = yaml.safe_load(f)
    if gitlab["suite"]["parallel"] != 4:
        fail("GitLab: not four parallel jobs")
    if "--shard auto" not in " ".join(gitlab["suite"]["script"]):
        fail("GitLab: the suite job does not take its shard from the CI")
    if gitlab["merge"]["needs"][0]["job"] != "suite":
        fail("GitLab: the merge does not wait for the suite jobs")
    if gitlab["merge"]["artifacts"]["reports"]["junit"] != "results/junit.xml":
        fail("GitLab: the merged junit.xml is not the job's report")
    print("check_ci_files: ok")


if __name__ == "__main__":
    main(sys.argv[1])
