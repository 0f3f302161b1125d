#!/usr/bin/env python3
"""A mutation run: each small change to a source file (a comparison turned,
a condition inverted, a constant moved, a statement dropped) built and
judged by the test suite; a change the suite does not notice survives.

usage: tools/mutants.py BUILD_DIR FILE... [--only N,N] [--list]

Run it in a copy of the tree with a build of its own (the files are changed
in place and put back): each mutant is built (`ninja -C BUILD_DIR
unit_tests`), then judged by the unit tests, the status program's first.
Prints one line per mutant and a table of the outcome at the end.
"""
import argparse
import os
import re
import subprocess

# (pattern, replacement, what): each occurrence on a line is one mutant.
OPERATORS = [
    (r"<=", "<", "<= to <"),
    (r"(?<= )<(?= )", "<=", "< to <="),
    (r">=", ">", ">= to >"),
    (r"(?<= )>(?= )", ">=", "> to >="),
    (r"==", "!=", "== to !="),
    (r"!=", "==", "!= to =="),
    (r"&&", "||", "&& to ||"),
    (r"\|\|", "&&", "|| to &&"),
    (r"\btrue\b", "false", "true to false"),
    (r"\bfalse\b", "true", "false to true"),
    (r"\+ 1\b", "- 1", "+ 1 to - 1"),
    (r"- 1\b", "+ 1", "- 1 to + 1"),
    (r"% 4\b", "% 3", "% 4 to % 3"),
    (r"% 100\b", "% 10", "% 100 to % 10"),
    (r"% 400\b", "% 40", "% 400 to % 40"),
    (r"\+\+", "--", "++ to --"),
    (r"--(?=[a-z])", "++", "-- to ++"),
    (r"\? 1 : 0", "? 0 : 1", "1 : 0 swapped"),
    (r"\bHELD_AT_DUE\b", "HELD_ELSEWHEN", "AT_DUE to ELSEWHEN"),
    (r"\bHELD_NOT\b", "HELD_UNKNOWN", "NOT to UNKNOWN"),
    (r"\bHELD_UNKNOWN\b", "HELD_NOT", "UNKNOWN to NOT"),
    (r"\bMB_ICONINFORMATION\b", "MB_ICONEXCLAMATION", "icon swapped"),
    (r"\bMB_ICONEXCLAMATION\b", "MB_ICONINFORMATION", "icon swapped"),
    (r" \| MB_SETFOREGROUND", "", "MB_SETFOREGROUND dropped"),
    (r"\bCNT_PERIOD\b", "CNT_TIME", "CNT_PERIOD to CNT_TIME"),
    (r"\bCNT_CLASSICTIME\b", "CNT_TIME", "CNT_CLASSICTIME to CNT_TIME"),
]

# A statement that can be dropped: an assignment, a call, a return of a value.
DROPPABLE = re.compile(r"^\s+(?!return\b|case\b|default\b|break\b|continue\b)[A-Za-z_*][^;{}]*;\s*$")


def mutants(path):
    lines = open(path).read().split("\n")
    found = []
    for number, line in enumerate(lines):
        code = line.split("//")[0]
        if not code.strip() or code.lstrip().startswith(("#", "*", "/*")):
            continue
        for pattern, replacement, what in OPERATORS:
            for m in re.finditer(pattern, code):
                changed = code[: m.start()] + replacement + code[m.end():]
                found.append((number, changed + line[len(code):], what))
        if DROPPABLE.match(code) and "=" in code and not re.search(r"\b(const|static|enum)\b", code):
            found.append((number, "", "statement dropped"))
        elif DROPPABLE.match(code) and re.search(r"\w\(.*\);", code) and "=" not in code:
            found.append((number, "", "call dropped"))
    return lines, found


def judged(build):
    quick = "Status.*:OwnersGuide.*:Package.*:NotificationStore.*:Hostile.*"
    for args in (["--gtest_filter=" + quick], ["--gtest_filter=-" + quick]):
        r = subprocess.run([build + "/tests/unit_tests", "--gtest_fail_fast"] + args,
                           stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=600)
        if r.returncode != 0:
            return "killed"
    return "SURVIVED"


def numbers(text):
    try:
        return {int(n) for n in text.split(",")}
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a list of mutant numbers: {text}")


def main():
    parser = argparse.ArgumentParser(description="A mutation run over FILEs, judged by the unit tests.")
    parser.add_argument("build", metavar="BUILD_DIR")
    parser.add_argument("files", metavar="FILE", nargs="+")
    parser.add_argument("--only", type=numbers, metavar="N,N", help="run only these mutants")
    parser.add_argument("--list", action="store_true", help="list the mutants, run none")
    options = parser.parse_args()
    for path in options.files:
        if not os.path.isfile(path):
            parser.error(f"{path}: no such file")
    only, files, build = options.only, options.files, options.build
    index = 0
    counts = {}
    for path in files:
        lines, found = mutants(path)
        original = "\n".join(lines)
        for number, replacement, what in found:
            index += 1
            if only is not None and index not in only:
                continue
            if options.list:
                print(f"{index} {path}:{number + 1} {what}: {replacement.strip() or '(dropped)'}")
                continue
            changed = lines[:number] + [replacement] + lines[number + 1:]
            open(path, "w").write("\n".join(changed))
            try:
                b = subprocess.run(["ninja", "-C", build, "unit_tests"], stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL)
                outcome = judged(build) if b.returncode == 0 else "stillborn"
            finally:
                open(path, "w").write(original)
            counts[outcome] = counts.get(outcome, 0) + 1
            print(f"{index} {outcome} {path}:{number + 1} {what}: {lines[number].strip()} "
                  f"-> {replacement.strip() or '(dropped)'}", flush=True)
    subprocess.run(["ninja", "-C", build, "unit_tests"], stdout=subprocess.DEVNULL)
    print("mutants: " + ", ".join(f"{k} {v}" for k, v in sorted(counts.items())))


if __name__ == "__main__":
    main()
