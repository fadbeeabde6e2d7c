#!/bin/sh
# Line and branch coverage of the library and brim, per folder, from a
# native gcov build (the one mutants.sh uses) after a run of every suite.
#
#   scripts/coverage.sh            build, run the suites, report
#   scripts/coverage.sh --report   report the counters of the last run
set -eu
cd "$(dirname "$0")/.."
. scripts/check-build.sh
check_configure
if [ "${1:-}" != "--report" ]; then
  find "$CHECK_BUILD" -name '*.gcda' -delete
  cmake --build "$CHECK_BUILD" >"$CHECK_BUILD/coverage-build.log" 2>&1 ||
    { tail -n 30 "$CHECK_BUILD/coverage-build.log"; exit 1; }
  # The install test builds another tree; its counters are not the library's.
  ctest --test-dir "$CHECK_BUILD" -j2 -E '^install_' >"$CHECK_BUILD/coverage-ctest.log" 2>&1 ||
    { grep -E 'tests passed|Failed|\*\*\*' "$CHECK_BUILD/coverage-ctest.log"; echo "(counted anyway)"; }
fi
work="$CHECK_BUILD/gcov"
rm -rf "$work" && mkdir -p "$work"
find "$PWD/$CHECK_BUILD" -name '*.gcda' -not -path "*/googletest/*" >"$work/list"
(cd "$work" && xargs gcov --json-format --branch-probabilities >/dev/null 2>&1 <list) || true
python3 - "$work" "$PWD" <<'PY'
import glob, gzip, json, os, sys
work, root = sys.argv[1], sys.argv[2] + "/"
folders = ["foundation", "text", "net", "fs", "tree", "env", "sysinfo", "tools/brim"]
lines, branches = {}, {}   # (file, line) -> hit; (file, line, k) -> taken
for path in glob.glob(work + "/*.gcov.json.gz"):
    for f in json.load(gzip.open(path))["files"]:
        name = os.path.normpath(os.path.join(root, f["file"]))
        if not name.startswith(root): continue
        name = name[len(root):]
        for l in f["lines"]:
            key = (name, l["line_number"])
            lines[key] = lines.get(key, False) or l["count"] > 0
            for k, b in enumerate(b for b in l["branches"] if not b["throw"]):
                bkey = key + (k,)
                branches[bkey] = branches.get(bkey, False) or b["count"] > 0
def folder(name):
    parts = name.split("/")
    if parts[0] == "framework" and len(parts) > 2: return "framework/" + parts[1]
    for f in folders:
        if name.startswith(f + "/"): return f
    return None
def tally(table):
    out = {}
    for key, hit in table.items():
        f = folder(key[0])
        if f is None: continue
        n, h = out.get(f, (0, 0))
        out[f] = (n + 1, h + hit)
    return out
L, B = tally(lines), tally(branches)
pct = lambda p: "%5.1f%%" % (100.0 * p[1] / p[0]) if p[0] else "    -"
print("%-22s %8s %14s %8s %14s" % ("folder", "lines", "", "branches", ""))
for f in sorted(L):
    b = B.get(f, (0, 0))
    print("%-22s %8s %6d/%-6d %8s %6d/%-6d" % (f, pct(L[f]), L[f][1], L[f][0], pct(b), b[1], b[0]))
tl = [sum(v[i] for k, v in L.items() if k != "tools/brim") for i in (0, 1)]
tb = [sum(v[i] for k, v in B.items() if k != "tools/brim") for i in (0, 1)]
print("%-22s %8s %6d/%-6d %8s %6d/%-6d" % ("library", pct(tl), tl[1], tl[0], pct(tb), tb[1], tb[0]))
PY
