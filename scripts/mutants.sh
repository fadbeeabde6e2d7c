#!/bin/sh
# Mutation check: plants each fault of scripts/mutants.txt in turn, rebuilds
# what the listed suites need, runs them and restores the file. A fault is
# caught when a suite fails. Prints "N caught, M missed" and what was missed;
# exits non-zero when a fault was missed, not found or did not build.
#
#   scripts/mutants.sh [REGEX]   only the faults whose line matches REGEX
#
# The faults are planted in the working tree itself: build nothing else from
# it while the check runs, or that build may take in a planted fault.
set -eu
cd "$(dirname "$0")/.."
. scripts/check-build.sh
list=scripts/mutants.txt
log="$CHECK_BUILD/mutants.log"
check_configure
: >"$log"

targets_of() {   # test names -> build targets (brim's command tests run brim)
  for t in "$@"; do case "$t" in brim_*) echo brim ;; *) echo "$t" ;; esac; done | sort -u
}
run_suites() {   # 0 when every suite passes
  # shellcheck disable=SC2046
  cmake --build "$CHECK_BUILD" --target $(targets_of "$@") >>"$log" 2>&1 || return 2
  ctest --test-dir "$CHECK_BUILD" -j2 -R "^($(echo "$@" | tr ' ' '|'))\$" >>"$log" 2>&1 || return 1
}

# Each entry keeps its number in the whole list, filtered or not.
entries="$(grep -v '^#' "$list" | grep -e '~~' | awk '{ print NR " " $0 }' | grep -E -e "${1:-~~}")"
all_suites="$(printf '%s\n' "$entries" | awk -F' ~~ ' '{print $4}' | tr ' ' '\n' | sort -u | tr '\n' ' ')"
echo "unchanged tree: $all_suites"
# shellcheck disable=SC2086
if ! run_suites $all_suites; then
  echo "the suites fail without a planted fault; see $log" >&2
  exit 1
fi

caught=0 missed=0 missed_list="" other_list=""
backup="$CHECK_BUILD/mutant.orig"
# (It ends in true: dash exits with the status of its exit trap's last command.)
restore() { if [ -n "${file:-}" ] && [ -f "$backup" ]; then cat "$backup" >"$file" && rm -f "$backup"; fi; true; }
trap restore EXIT INT TERM
while IFS= read -r line; do
  n="${line%% *}" line="${line#* }"
  file="$(printf '%s' "$line" | awk -F' ~~ ' '{print $1}')"
  suites="$(printf '%s' "$line" | awk -F' ~~ ' '{print $4}')"
  label="#$n $file: $(printf '%s' "$line" | awk -F' ~~ ' '{print $2}' | cut -c1-70)"
  cp "$file" "$backup"
  if ! MUTANT="$line" python3 -c '
import os, sys
f, find, repl = os.environ["MUTANT"].split(" ~~ ")[:3]
text = open(f).read()
if find not in text: sys.exit(3)
open(f, "w").write(text.replace(find, repl, 1))'; then
    rm -f "$backup"
    other_list="$other_list
  text not found: $label"
    continue
  fi
  printf "== %s\n" "$label" >>"$log"
  rc=0
  # shellcheck disable=SC2086
  run_suites $suites </dev/null || rc=$?
  restore
  case $rc in
    0) missed=$((missed + 1)); missed_list="$missed_list
  $label  [$suites]"; printf "missed  %s\n" "$label" ;;
    1) caught=$((caught + 1)); printf "caught  %s\n" "$label" ;;
    *) other_list="$other_list
  does not build: $label"; printf "no build %s\n" "$label" ;;
  esac
done <<END
$entries
END
echo
echo "$caught caught, $missed missed"
[ -z "$missed_list" ] || printf "missed:%s\n" "$missed_list"
[ -z "$other_list" ] || printf "not counted:%s\n" "$other_list"
# Fails when a fault was missed or could not be planted or built.
[ -z "$missed_list$other_list" ]
