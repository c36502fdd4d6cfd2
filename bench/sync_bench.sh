#!/usr/bin/env bash
# Sync benchmark: Trovalo's sync engine (trovalo-cli run of a sync job) side
# by side with unison -batch and cp -a on the copy benchmark's generated
# tree, on isolated drives (TROVALO_DRIVES: C= the computer, E= the "USB"
# drive, both under one base folder). Prints a table of ratios (ours /
# theirs) against the targets. Not a test: run it by hand on a quiet
# machine.
#
#   bench/sync_bench.sh [--dir BASE] [--build DIR] [--runs N] [--files N]
#                       [--keep]
#
#   --dir BASE    where the drives are made (default /tmp); needs about
#                 3 GB free with the default tree
#   --build DIR   an existing build tree (default: configures and builds
#                 build-bench)
#   --runs N      timed runs per measurement (default 3; median shown)
#   --files N     small files in the tree (default 20000)
#   --keep        keep the generated trees (printed at the end)
#
# Measured: the first sync of a folder on the computer with an empty folder
# on the USB drive (a new job and a new empty folder per run) against cp -a
# of the folder (and, for information, unison's first sync of it); then a
# second sync with nothing changed against unison -batch on two replicas
# in step. unison runs with -times (it then keeps file dates, as Trovalo
# does) and its archives in the scratch folder.
# Same method as bench/copy_bench.sh (see bench/bench_lib.sh): warm page
# cache, one warm-up run, medians, sync before each run, rotating order,
# nothing deleted until the end.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=bench_lib.sh
source "$repo/bench/bench_lib.sh"
bench_options "$@"


# --- tools and build -------------------------------------------------------------
"$repo/scripts/install-deps.sh" unison python3
bench_build trovalo-cli
cli=$build/trovalo-cli
tree=$repo/bench/bench_tree.py

# --- drives ------------------------------------------------------------------------
bench_drives sync

# Creates a sync job pairing the new empty folder E:\$1 with the computer
# folder C:\src and prints the job file's native path. Conflicts cannot
# occur here; "newest" keeps the run from ever waiting for an answer.
new_sync_job() {
  mkdir -p "$E/$1"
  "$cli" new sync --pair "E:\\$1=C:\\src" --conflicts newest --name "bench $1" \
    | sed -n 's/^  (\(.*\))$/\1/p' | head -1
}

run_sync() { "$cli" run "$1"; }
unison_sync() { unison -batch -silent -times "$1" "$2"; }

# --- the tree ------------------------------------------------------------------------
echo "Generating the tree ($files small files, 3 x 64 MB) ..."
src=$C/src
python3 "$tree" make "$src" --files "$files" --folders $((files / 10)) --big 3 --big-mb 64 | tee -a "$log"
tree_text=$(tail -1 "$log")

# --- first sync into an empty side -----------------------------------------------------
echo "First sync into an empty folder: trovalo-cli run vs cp -a vs unison (1 warm-up + $runs runs each) ..."
declare -a jobs
for round in $(seq 0 "$runs"); do
  jobs[$round]=$(new_sync_job "sync-$round")
  [ -n "${jobs[$round]}" ] || fail "new sync job $round"
done
first_trovalo() { run_sync "${jobs[$1]}"; }
first_cp() { cp -a "$src" "$E/cp-$1"; }
first_unison() { mkdir -p "$E/un-$1" && unison_sync "$src" "$E/un-$1"; }
for round in $(seq 0 "$runs"); do
  run_round "$round" first_trovalo first_cp first_unison
done

# --- a second sync with nothing changed ------------------------------------------------
echo "Second sync, nothing changed: trovalo-cli run vs unison -batch ..."
same_trovalo() { run_sync "${jobs[$runs]}"; }
same_unison() { unison_sync "$src" "$E/un-$runs"; }
for round in $(seq 0 "$runs"); do
  run_round "$round" same_trovalo same_unison
done
grep -q "Nothing changed since the last run" "$log" \
  || echo "  (warning: the no-change sync reported work; see $log)"

# --- the table -------------------------------------------------------------------------
echo
echo "Tree: $tree_text."
machine_text "$runs" "$base"
echo
table_head
compare_row "first sync into an empty side" first_trovalo "cp -a" first_cp 1.10
compare_row "first sync into an empty side" first_trovalo "unison -batch" first_unison
compare_row "second sync, nothing changed" same_trovalo "unison -batch" same_unison 1.00
