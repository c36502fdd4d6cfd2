#!/usr/bin/env bash
# Copy benchmark: Trovalo's copy engine (trovalo-cli run) side by side with
# cp -a and rsync -a on the same generated tree, on isolated drives
# (TROVALO_DRIVES: C= the source folder, E= the "USB" destination folder,
# both under one base folder). Prints a table of ratios (ours / theirs)
# against the targets. Not a test: run it by hand on a quiet machine.
#
#   bench/copy_bench.sh [--dir BASE] [--build DIR] [--runs N] [--files N]
#                       [--memory-files N] [--skip-memory] [--keep]
#
#   --dir BASE         where the drives are made (default /tmp); needs about
#                      12 GB free with the default tree
#   --build DIR        an existing build tree (default: configures and
#                      builds build-bench)
#   --runs N           timed runs per measurement (default 3; median shown)
#   --files N          small files in the main tree (default 20000)
#   --memory-files N   files in the peak-memory tree (default 100000)
#   --skip-memory      leave out the peak-memory measurement
#   --keep             keep the generated trees (printed at the end)
#
# Caches cannot be dropped here, so every tool gets one warm-up run first
# and the median of the timed runs after it is compared: all figures are
# for a warm page cache. Before each timed run `sync` flushes what earlier
# runs left to write, so no run pays for another's write-back. Copies are
# not deleted until the end: on ext4, creating files within a minute or so
# of deleting many is several times slower (the inode allocator skips
# recently deleted inodes), which would hit whichever tool ran next.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=bench_lib.sh
source "$repo/bench/bench_lib.sh"
memory_files=100000
skip_memory=0
bench_own_option() {
  case $1 in
    --memory-files) memory_files=$2; took=2 ;;
    --skip-memory) skip_memory=1; took=1 ;;
  esac
}
bench_options "$@"

# --- tools -----------------------------------------------------------------
"$repo/scripts/install-deps.sh" rsync time python3

# --- build -----------------------------------------------------------------
bench_build trovalo-cli bench_engine
cli=$build/trovalo-cli
engine=$build/bench/bench_engine
tree=$repo/bench/bench_tree.py

# --- drives ----------------------------------------------------------------
bench_drives copy

# --- helpers ---------------------------------------------------------------
# Peak resident memory in MB of one command.
peak_mb() {
  sync
  /usr/bin/time -f %M -o "$work/time.out" "$@" >>"$log" 2>&1 || fail "$@"
  awk '{ printf "%.0f", $1 / 1024 }' "$work/time.out"
}

# --- the tree ----------------------------------------------------------------
echo "Generating the tree ($files small files, 3 x 64 MB) ..."
src=$C/src
python3 "$tree" make "$src" --files "$files" --folders $((files / 10)) --big 3 --big-mb 64 | tee -a "$log"
tree_text=$(tail -1 "$log")

# --- first full backup ---------------------------------------------------------
echo "First full backup: trovalo-cli run vs cp -a vs rsync -a (1 warm-up + $runs runs each) ..."
declare -a jobs
for round in $(seq 0 "$runs"); do
  jobs[$round]=$(new_job incremental "$src" "$E/full-$round")
done
full_trovalo() { run_job "${jobs[$1]}"; }
full_cp() { cp -a "$src" "$E/cp-$1"; }
full_cp_sync() { cp -a "$src" "$E/cps-$1" && sync; }
full_rsync() { rsync -a "$src/" "$E/rs-$1/"; }
for round in $(seq 0 "$runs"); do
  run_round "$round" full_trovalo full_cp full_cp_sync full_rsync
done

# --- a second run with no change ------------------------------------------------
echo "No-change run: trovalo-cli run vs rsync -a ..."
same_trovalo() { run_job "${jobs[$runs]}"; }
same_rsync() { rsync -a "$src/" "$E/rs-$runs/"; }
for round in $(seq 0 "$runs"); do
  run_round "$round" same_trovalo same_rsync
done
grep -q "no file needed copying" "$log" || echo "  (warning: the no-change run reported copies; see $log)"

# --- the observer's cost, in-process -------------------------------------------
echo "Hand-off observer vs plain observer (bench_engine, in-process, 1 warm-up + $runs runs each) ..."
engine_out=$("$engine" "$src" "$E/engine" "$runs" 2>>"$log") || fail "$engine"
echo "$engine_out" | sed 's/^/  /'
value() { echo "$engine_out" | awk -v key="$1" '$1 == key { print $2 }'; }
engine_plain=$(value plain) engine_handoff=$(value handoff)
engine_plain_cpu=$(value plain-cpu) engine_handoff_cpu=$(value handoff-cpu)
reports_out=$("$engine" --reports-only "$files" "$runs" 2>>"$log") || fail "$engine --reports-only"
report_value() { echo "$reports_out" | awk -v key="$1" '$1 == key { print $2 }'; }
reports_plain=$(report_value plain) reports_handoff=$(report_value handoff)
reports_plain_cpu=$(report_value plain-cpu) reports_handoff_cpu=$(report_value handoff-cpu)

# --- mirror after deleting 10 % of the sources -----------------------------------
echo "Mirror run after deleting 10 % of the files: trovalo (mirror job) vs rsync -a --delete ..."
stash=$C/stash
mirror_job=$(new_job mirror "$src" "$E/mirror")
mirror_trovalo() { run_job "$mirror_job"; }
mirror_rsync() { rsync -a --delete "$src/" "$E/rsm/"; }
for round in $(seq 0 "$runs"); do
  # Back to the full tree and both copies in step, then 10 % go.
  python3 "$tree" put-back "$src" "$stash" >>"$log"
  timed mirror_trovalo 0 >/dev/null
  timed mirror_rsync 0 >/dev/null
  python3 "$tree" take-out "$src" "$stash" >>"$log"
  run_round "$round" mirror_trovalo mirror_rsync
done
python3 "$tree" put-back "$src" "$stash" >>"$log"

# --- peak memory -------------------------------------------------------------------
if [ "$skip_memory" -eq 0 ]; then
  echo "Peak memory: $memory_files files ..."
  msrc=$C/many
  python3 "$tree" make "$msrc" --files "$memory_files" --folders $((memory_files / 10)) --big 0 --max-kb 4 \
    | tee -a "$log"
  memory_tree=$(tail -1 "$log")
  mjob=$(new_job incremental "$msrc" "$E/many")
  mem_first=$(peak_mb "$cli" run "$mjob" --yes)
  mem_second=$(peak_mb "$cli" run "$mjob" --yes)
  mem_rsync=$(peak_mb rsync -a "$msrc/" "$E/rsmany/")
  echo "  trovalo first run $mem_first MB, no-change run $mem_second MB; rsync -a $mem_rsync MB"
  mem_ours=$((mem_first > mem_second ? mem_first : mem_second))
fi

# --- the table -----------------------------------------------------------------------

echo
echo "Tree: $tree_text."
machine_text "$runs" "$base"
echo
table_head
compare_row "first full backup" full_trovalo "cp -a" full_cp 1.10
compare_row "first full backup" full_trovalo "cp -a; sync" full_cp_sync
compare_row "first full backup" full_trovalo "rsync -a" full_rsync
compare_row "second run, no change" same_trovalo "rsync -a" same_rsync 1.00
compare_row "mirror run after deleting 10 % of files" mirror_trovalo "rsync -a --delete" mirror_rsync
if [ "$skip_memory" -eq 0 ]; then
  row "peak memory, $memory_files files" "$mem_ours MB" "rsync -a $mem_rsync MB" \
    "$(ratio "$mem_ours" "$mem_rsync")" "" "< 150 MB" "$(verdict "$mem_ours" 150 '<')"
fi
r=$(ratio "$engine_handoff" "$engine_plain")
row "hand-off observer, first full backup" "$engine_handoff s" "plain observer $engine_plain s" "$r" \
  "$(ratio "$engine_handoff_cpu" "$engine_plain_cpu")" "<= 1.10" "$(verdict "$r" 1.10 '<=')"
row "  reports of $files files, no copying" "$reports_handoff s" "plain observer $reports_plain s" \
  "$(ratio "$reports_handoff" "$reports_plain")" "$(ratio "$reports_handoff_cpu" "$reports_plain_cpu")" "" info
if [ "$skip_memory" -eq 0 ]; then
  echo
  echo "Peak-memory tree: $memory_tree; first run $mem_first MB, no-change run $mem_second MB."
fi
