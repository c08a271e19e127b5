#!/usr/bin/python3
"""The results of scripts/test.sh's steps: each step's counts, read from its runners' JUnit files,
and the summary whose last line CI reads.

  test_results.py record DIR STEP STATUS SECONDS LOG [--cpu SECONDS] [--junit FILE]...
                         [--hangs-skipped CTEST_LOG] [--note TEXT]
      Writes DIR/STEP.json: its time, and the CPU time its programs took (comparable between
      runs on a busy machine and an idle one). A step whose STATUS is not "ok", or that lacks a
      JUnit file, counts one failure. --hangs-skipped: the tests that CTest's output (CTEST_LOG)
      shows timing out on their last attempt are emulation hangs, not the code's failures: they
      count as skipped, and the note names them and the tests that passed on their retry.
  test_results.py summary DIR SECONDS STEP...
      Prints one row per STEP recorded in DIR, the notes, the total time and, last,
      "tests: N passed, N failed, N skipped". Exits 1 when a step failed or a STEP has no record.
"""
import json
import os
import re
import sys
import xml.etree.ElementTree as ElementTree


def junit_counts(path):
    """(passed, failed, skipped) summed over the file's test suites. CTest's, pytest's and
    check_release.py's files all state tests, failures, errors, skipped and disabled per suite."""
    root = ElementTree.parse(path).getroot()
    suites = [root] if root.tag == "testsuite" else root.iter("testsuite")
    tests = failed = skipped = 0
    for suite in suites:
        def number(name):
            return int(suite.get(name) or 0)
        tests += number("tests")
        failed += number("failures") + number("errors")
        skipped += number("skipped") + number("disabled")
    return [tests - failed - skipped, failed, skipped]


TEST_LINE = re.compile(r"Test +#[0-9]+: (\S+) ")


def timeouts(ctest_output):
    """The tests that timed out in CTest's output, each once, split into those whose last attempt
    timed out too (hung) and those that a retry ran to its end (retried)."""
    last, seen = {}, []
    for line in ctest_output.splitlines():
        match = TEST_LINE.search(line)
        if not match:
            continue
        name = match.group(1)
        timed_out = "***Timeout" in line
        last[name] = timed_out
        if timed_out and name not in seen:
            seen.append(name)
    hung = [name for name in seen if last[name]]
    retried = [name for name in seen if not last[name]]
    return hung, retried


def record(args):
    folder, step, status, seconds, log = args[:5]
    junits, hangs_log, note, cpu = [], None, "", 0
    rest = args[5:]
    while rest:
        option, value, rest = rest[0], rest[1], rest[2:]
        if option == "--junit":
            junits.append(value)
        elif option == "--hangs-skipped":
            hangs_log = value
        elif option == "--note":
            note = value
        elif option == "--cpu":
            cpu = int(value)
        else:
            raise SystemExit(f"test_results.py: unknown option {option}")
    counts = [0, 0, 0]
    for junit in junits:
        if os.path.isfile(junit):
            counts = [a + b for a, b in zip(counts, junit_counts(junit))]
        elif status == "ok":
            status = "no results"
    if status == "ok" and hangs_log and os.path.isfile(hangs_log):
        with open(hangs_log, encoding="utf-8", errors="replace") as output:
            hung, retried = timeouts(output.read())
        counts[1] -= len(hung)
        counts[2] += len(hung)
        note += (f"; emulation hangs: {len(hung)} ({' '.join(hung) or 'none'}) counted as skipped,"
                 f" {len(retried)} passed on retry ({' '.join(retried) or 'none'})")
    if status != "ok":
        counts = [counts[0], max(counts[1], 1), counts[2]]
    elif counts[1] > 0:
        status = "tests failed"
    row = {"step": step, "status": status, "seconds": int(seconds), "cpu": cpu, "counts": counts,
           "log": log, "note": note}
    os.makedirs(folder, exist_ok=True)
    with open(os.path.join(folder, f"{step}.json"), "w", encoding="utf-8") as out:
        json.dump(row, out)
    print(format_row(row))
    return 0


def format_row(row):
    passed, failed, skipped = row["counts"]
    return (f"{row['step']:<8} {row['status']:<14} {passed:5d} passed {failed:4d} failed "
            f"{skipped:4d} skipped {row['seconds']:5d}s, cpu {row['cpu']:5d}s  (log: {row['log']})")


def summary(args):
    folder, seconds, steps = args[0], int(args[1]), args[2:]
    totals, notes, bad, cpu = [0, 0, 0], [], False, 0
    for step in steps:
        path = os.path.join(folder, f"{step}.json")
        if not os.path.isfile(path):
            row = {"step": step, "status": "did not end", "seconds": 0, "cpu": 0,
                   "counts": [0, 1, 0], "log": f"build/{step}.log", "note": ""}
        else:
            with open(path, encoding="utf-8") as source:
                row = json.load(source)
        print(format_row(row))
        totals = [a + b for a, b in zip(totals, row["counts"])]
        cpu += row["cpu"]
        bad = bad or row["status"] != "ok"
        if row["note"]:
            notes.append(f"{step}: {row['note']}")
    for note in notes:
        print(note)
    print(f"total {seconds}s ({seconds // 60} min {seconds % 60} s), cpu {cpu}s"
          " (the steps ran side by side)")
    print(f"tests: {totals[0]} passed, {totals[1]} failed, {totals[2]} skipped")
    return 1 if bad or totals[1] else 0


def main():
    commands = {"record": (record, 5), "summary": (summary, 2)}
    if len(sys.argv) < 2 or sys.argv[1] not in commands or \
            len(sys.argv) - 2 < commands[sys.argv[1]][1]:
        print(__doc__, file=sys.stderr)
        return 2
    command, _ = commands[sys.argv[1]]
    return command(sys.argv[2:])


if __name__ == "__main__":
    sys.exit(main())
