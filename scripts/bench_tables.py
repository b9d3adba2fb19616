#!/usr/bin/env python3
"""Turns the mandel-bench runs that bench-report.sh collected into Markdown
tables and writes them between the markers of the benchmark notes and the
README. Each run is a file of mandel-bench's key=value lines, named after the
build that printed it."""
import argparse
import os
import re
import sys

BUILDS = [  # file name, how the tables name it
    ("native", "native (x86-64)"),
    ("exe64", "64-bit `.exe` (Wine)"),
    ("exe32", "32-bit `.exe` (Wine)"),
    ("model", "32-bit register model"),
]
PATHS = [("avx512", "AVX-512"), ("avx2", "AVX2"), ("sse2", "SSE2")]
HEADLINE_CASE = "boundary-4096"


def parse_run(path):
    """The ceiling line and the case lines of one run, as dictionaries."""
    ceilings, cases = {}, []
    with open(path, encoding="utf-8") as run:
        for line in run:
            fields = dict(f.split("=", 1) for f in line.split() if "=" in f)
            # A full run measures the ceiling in each of its mandel-bench
            # calls; the best of them is the path's ceiling.
            best = ceilings.get(fields.get("path"))
            if line.startswith("path_ceiling ") and (
                    best is None or float(fields["gpis"]) > float(best["gpis"])):
                ceilings[fields["path"]] = fields
            elif line.startswith("case="):
                cases.append(fields)
    if not ceilings or not cases:
        sys.exit(f"bench_tables: no figures in {path}")
    return ceilings, cases


def table(header, rows):
    lines = ["| " + " | ".join(header) + " |", "|" + "---|" * len(header)]
    lines += ["| " + " | ".join(row) + " |" for row in rows]
    return "\n".join(lines)


def headline_table(runs):
    """boundary-4096 on every path of every build: G/s and the share of that
    path's own ceiling."""
    rows = []
    for name, label in BUILDS:
        if name not in runs:
            continue
        ceilings, cases = runs[name]
        cells = []
        for path, _ in PATHS:
            found = [c for c in cases if c["case"] == HEADLINE_CASE and c["path"] == path]
            cells.append(f"{found[0]['fast_gpis']} "
                         f"({float(found[0]['fast_gpis']) / float(ceilings[path]['gpis']):.2f})"
                         if found else "—")
        rows.append([label] + cells)
    return table(["build"] + [label for _, label in PATHS], rows)


def ceiling_table(runs):
    """Each path's bare step at its best: G/s, with the vector count and the
    way of doubling that reached it."""
    rows = []
    for name, label in BUILDS:
        if name in runs:
            ceilings = runs[name][0]
            rows.append([label] + [
                f"{ceilings[p]['gpis']} ({ceilings[p]['vectors']}, {ceilings[p]['doubling']})"
                if p in ceilings else "—" for p, _ in PATHS])
    return table(["build"] + [label for _, label in PATHS], rows)


def cases_table(runs):
    """Every case on each build's widest path: the fast kernel's rate and its
    speed-up over the reference loop (for the two-thread case, over one thread)."""
    present = [(n, l) for n, l in BUILDS if n in runs]
    order = []
    for name, _ in present:
        for c in runs[name][1]:
            if c["case"] not in order:
                order.append(c["case"])
    rows = []
    for case in order:
        row = [case]
        for name, _ in present:
            found = [c for c in runs[name][1] if c["case"] == case]
            row.append(f"{found[0]['fast_gpis']} (×{found[0]['speedup']}, {found[0]['path']})"
                       if found else "—")
        rows.append(row)
    return table(["case"] + [label for _, label in present], rows)


def replace_between(path, marker, text):
    begin, end = f"<!-- {marker}:begin -->", f"<!-- {marker}:end -->"
    with open(path, encoding="utf-8") as f:
        content = f.read()
    pattern = re.compile(re.escape(begin) + ".*?" + re.escape(end), re.S)
    if not pattern.search(content):
        sys.exit(f"bench_tables: {path} has no {begin} … {end}")
    content = pattern.sub(lambda _: f"{begin}\n{text}\n{end}", content)
    with open(path, "w", encoding="utf-8") as f:
        f.write(content)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("runs")
    parser.add_argument("doc")
    parser.add_argument("readme")
    parser.add_argument("--processor", required=True)
    parser.add_argument("--commit", required=True)
    parser.add_argument("--date", required=True)
    parser.add_argument("--quick", required=True)
    args = parser.parse_args()

    runs = {name: parse_run(os.path.join(args.runs, name))
            for name, _ in BUILDS if os.path.exists(os.path.join(args.runs, name))}
    size = "480 × 270 (quick run)" if args.quick == "yes" else "1920 × 1080"
    stamp = (f"{args.processor}, {args.date}, commit {args.commit}; images of {size}, "
             "one thread unless the case says t2.")
    missing = "" if "exe32" in runs else (
        "\n\nThis machine cannot execute 32-bit code: the 32-bit `.exe` is missing, "
        "and the register model stands in for it.")

    doc = "\n\n".join([
        f"Measured on {stamp}{missing}",
        f"**{HEADLINE_CASE}** in G/s on each vector path, with the share of that path's "
        "own ceiling in brackets:",
        headline_table(runs),
        "**Ceilings**: each path's bare step at its best, in G/s, with the vector count "
        "and the way of doubling that reached it:",
        ceiling_table(runs),
        "**Every case** on the path each program chooses: G/s, with the speed-up over "
        "the reference loop and the path in brackets:",
        cases_table(runs),
    ])
    replace_between(args.doc, "bench-report", doc)
    readme = "\n\n".join([
        headline_table(runs),
        f"<sub>{stamp}</sub>",
    ])
    replace_between(args.readme, "bench-report", readme)


if __name__ == "__main__":
    main()
