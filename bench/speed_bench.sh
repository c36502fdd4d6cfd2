#!/usr/bin/env bash
# Speed benchmark: every measurement of the engines against the tools users
# would pick instead, in one invocation and on one generated tree (20,000
# small files and four 32 MB files by default), on isolated drives
# (TROVALO_DRIVES: C= the computer, E= the "USB" drive, under one base
# folder). Prints one table of ratios (ours / theirs) against the targets,
# in Markdown. Not a test: run it by hand on a quiet machine.
#
#   bench/speed_bench.sh [--dir BASE] [--build DIR] [--runs N] [--files N]
#                        [--only LIST] [--keep]
#
#   --dir BASE    where the drives are made (default /tmp); needs about
#                 8 GB free with the default tree
#   --build DIR   an existing build tree (default: configures and builds
#                 build-bench)
#   --runs N      timed rounds per measurement after one warm-up round
#                 (default 3; the median is shown)
#   --files N     small files in the tree (default 20000)
#   --only LIST   comma-separated measurements to take: zip, backup, sync,
#                 mirror, restore (default: all; "backup" and "sync" include
#                 their no-change runs, "restore" needs "backup" and "mirror")
#   --keep        keep the generated trees (printed at the end)
#
# The engines wait for their data to reach the disk, the plain tools do not:
# rows whose reference ends in "; sync -f" run `sync -f` on the destination
# after the tool, the same durability. See docs/benchmarks.md.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=bench_lib.sh
source "$repo/bench/bench_lib.sh"
only=all
bench_own_option() {
  case $1 in
    --only) only=$2; took=2 ;;
  esac
}
bench_options "$@"
wanted() { [ "$only" = all ] || [[ ",$only," == *",$1,"* ]]; }
if wanted restore && ! { wanted backup && wanted mirror; }; then
  echo "speed_bench.sh: --only restore needs backup and mirror too" >&2
  exit 3
fi

# --- tools and build -------------------------------------------------------------
"$repo/scripts/install-deps.sh" rsync unison zip unzip python3
bench_build trovalo-cli
cli=$build/trovalo-cli
tree=$repo/bench/bench_tree.py

# --- drives ------------------------------------------------------------------------
bench_drives speed
rows=() # the table's compare_row calls, in order

synced() { "$@" && sync -f "$E"; }
synced_c() { "$@" && sync -f "$C"; }
unison_sync() { unison -batch -silent -times "$1" "$2"; }
found_tree() { find "$1" -type d -name src -print -quit; }
# Warns unless the tree "src" below $2 has the content of the folder $3.
check_tree() {
  local copy
  copy=$(found_tree "$2")
  if [ -z "$copy" ] || ! diff -rq "$3" "$copy" >>"$log" 2>&1; then
    echo "  (warning: $1 differs from $3; see $log)"
  fi
}

echo "Generating the tree ($files small files, 4 x 32 MB) ..."
src=$C/src
python3 "$tree" make "$src" --files "$files" --folders $((files / 10)) --big 4 --big-mb 32 | tee -a "$log"
tree_text=$(tail -1 "$log")

# --- "Zip archive" job run again after 10 files changed --------------------------
if wanted zip; then
  echo "Zip archive job after 10 changed files: trovalo-cli run vs zip -r -FS ..."
  zip_job=$(new_job zip "$src" "$E/zip")
  run_job "$zip_job" >>"$log" 2>&1 || fail "the first run of the zip job"
  (cd "$C" && zip -r -q -6 "$E/ref.zip" src && cp "$E/ref.zip" "$E/ref-sync.zip") >>"$log" 2>&1
  pick_changed_files
  # Each tool's archive lags one change behind.
  zip_trovalo() { run_job "$zip_job"; }
  zip_fs() { (cd "$C" && zip -r -q -FS "$E/ref.zip" src); }
  zip_fs_sync() { (cd "$C" && zip -r -q -FS "$E/ref-sync.zip" src) && sync -f "$E"; }
  for round in $(seq 0 "$runs"); do
    change_files "$round"
    run_round "$round" zip_trovalo zip_fs zip_fs_sync
  done
  check_changes_in "$E/zip/C.Zip"
  unzip -tq "$E/zip/C.Zip" >>"$log" 2>&1 || echo "  (warning: unzip -t finds faults in the archive)"
  rows+=("zip_trovalo|Zip archive job, 10 files changed|zip -r -FS|zip_fs|1.00"
    "zip_trovalo|Zip archive job, 10 files changed|zip -r -FS; sync -f|zip_fs_sync|")
fi

# --- first backup, and a second run with no change ----------------------------------
if wanted backup; then
  echo "First backup: trovalo-cli run vs cp -a, rsync -a (and each followed by sync -f) ..."
  declare -a jobs
  for round in $(seq 0 "$runs"); do jobs[round]=$(new_job incremental "$src" "$E/full-$round"); done
  full_trovalo() { run_job "${jobs[$1]}"; }
  full_cp() { cp -a "$src" "$E/cp-$1"; }
  full_cp_sync() { synced cp -a "$src" "$E/cps-$1"; }
  full_rsync() { rsync -a "$src/" "$E/rs-$1/"; }
  full_rsync_sync() { synced rsync -a "$src/" "$E/rss-$1/"; }
  for round in $(seq 0 "$runs"); do
    run_round "$round" full_trovalo full_cp full_cp_sync full_rsync full_rsync_sync
  done
  echo "Backup with no change: trovalo-cli run vs rsync -a ..."
  same_trovalo() { run_job "${jobs[$runs]}"; }
  same_rsync() { rsync -a "$src/" "$E/rs-$runs/"; }
  for round in $(seq 0 "$runs"); do run_round "$round" same_trovalo same_rsync; done
  rows+=("full_trovalo|first backup|cp -a|full_cp|1.15"
    "full_trovalo|first backup|cp -a; sync -f|full_cp_sync|1.00"
    "full_trovalo|first backup|rsync -a|full_rsync|1.00"
    "full_trovalo|first backup|rsync -a; sync -f|full_rsync_sync|"
    "same_trovalo|backup with no change|rsync -a|same_rsync|0.50")
fi

# --- first sync into an empty side, and a sync with no change -----------------------
if wanted sync; then
  echo "First sync into an empty folder: trovalo-cli run vs cp -a, unison ..."
  declare -a sync_jobs
  for round in $(seq 0 "$runs"); do
    mkdir -p "$E/sync-$round"
    sync_jobs[round]=$("$cli" new sync --pair "E:\\sync-$round=C:\\src" --conflicts newest \
      --name "bench sync $round" | sed -n 's/^  (\(.*\))$/\1/p' | head -1)
    [ -n "${sync_jobs[round]}" ] || fail "new sync job $round"
  done
  sync_trovalo() { "$cli" run "${sync_jobs[$1]}"; }
  sync_cp() { cp -a "$src" "$E/scp-$1"; }
  sync_cp_sync() { synced cp -a "$src" "$E/scps-$1"; }
  sync_unison() { mkdir -p "$E/un-$1" && unison_sync "$src" "$E/un-$1"; }
  for round in $(seq 0 "$runs"); do
    run_round "$round" sync_trovalo sync_cp sync_cp_sync sync_unison
  done
  echo "Sync with no change: trovalo-cli run vs unison -batch ..."
  same_sync_trovalo() { "$cli" run "${sync_jobs[$runs]}"; }
  same_sync_unison() { unison_sync "$src" "$E/un-$runs"; }
  for round in $(seq 0 "$runs"); do run_round "$round" same_sync_trovalo same_sync_unison; done
  grep -q "Nothing changed since the last run" "$log" \
    || echo "  (warning: the no-change sync reported work; see $log)"
  rows+=("sync_trovalo|first sync into an empty side|cp -a|sync_cp|1.15"
    "sync_trovalo|first sync into an empty side|cp -a; sync -f|sync_cp_sync|"
    "sync_trovalo|first sync into an empty side|unison -batch|sync_unison|"
    "same_sync_trovalo|sync with no change|unison -batch|same_sync_unison|0.50")
fi

# --- mirror run after deleting 20 % of the files -------------------------------------
if wanted mirror; then
  echo "Mirror run after deleting 20 % of the files: trovalo (mirror job) vs rsync -a --delete ..."
  stash=$C/stash
  mirror_job=$(new_job mirror "$src" "$E/mirror")
  mirror_trovalo() { run_job "$mirror_job"; }
  mirror_rsync() { rsync -a --delete "$src/" "$E/rsm/"; }
  mirror_rsync_sync() { synced rsync -a --delete "$src/" "$E/rsms/"; }
  for round in $(seq 0 "$runs"); do
    # Back to the whole tree with every copy in step, then a fifth goes.
    python3 "$tree" put-back "$src" "$stash" >>"$log"
    for tool in mirror_trovalo mirror_rsync mirror_rsync_sync; do timed "$tool" 0 >/dev/null; done
    python3 "$tree" take-out "$src" "$stash" --every 5 >>"$log"
    run_round "$round" mirror_trovalo mirror_rsync mirror_rsync_sync
  done
  python3 "$tree" put-back "$src" "$stash" >>"$log"
  rows+=("mirror_trovalo|mirror run after deleting 20 %|rsync -a --delete|mirror_rsync|1.00"
    "mirror_trovalo|mirror run after deleting 20 %|rsync -a --delete; sync -f|mirror_rsync_sync|")
fi

# --- restores into a new folder ------------------------------------------------------
if wanted restore; then
  echo "Restore of a copy backup (one incremental run) and of a mirror backup (many runs) ..."
  copy_job=${jobs[$runs]}
  restore_copy_trovalo() { mkdir "$C/rc-$1" && "$cli" restore --yes --to "$C/rc-$1" "$copy_job"; }
  restore_copy_cp() { cp -a "$E/full-$runs" "$C/cprc-$1"; }
  restore_copy_cp_sync() { synced_c cp -a "$E/full-$runs" "$C/cprcs-$1"; }
  restore_mirror_trovalo() { mkdir "$C/rm-$1" && "$cli" restore --yes --to "$C/rm-$1" "$mirror_job"; }
  restore_mirror_cp() { cp -a "$E/mirror" "$C/cprm-$1"; }
  restore_mirror_cp_sync() { synced_c cp -a "$E/mirror" "$C/cprms-$1"; }
  for round in $(seq 0 "$runs"); do
    run_round "$round" restore_copy_trovalo restore_copy_cp restore_copy_cp_sync
  done
  for round in $(seq 0 "$runs"); do
    run_round "$round" restore_mirror_trovalo restore_mirror_cp restore_mirror_cp_sync
  done
  check_tree "the restore of the copy backup" "$C/rc-$runs" "$(found_tree "$E/full-$runs")"
  check_tree "the restore of the mirror backup" "$C/rm-$runs" "$(found_tree "$E/mirror")"
  rows+=("restore_copy_trovalo|restore of a copy backup|cp -a of the backup|restore_copy_cp|1.05"
    "restore_copy_trovalo|restore of a copy backup|cp -a; sync -f|restore_copy_cp_sync|"
    "restore_mirror_trovalo|restore of a mirror backup|cp -a of the backup|restore_mirror_cp|1.05"
    "restore_mirror_trovalo|restore of a mirror backup|cp -a; sync -f|restore_mirror_cp_sync|")
fi

# --- the table -------------------------------------------------------------------------
echo
echo "Tree: $tree_text."
machine_text "$runs" "$base"
echo "$(cp --version | head -1), $(rsync --version | awk 'NR == 1 { print $1, $3 }')," \
  "unison $(unison -version 2>/dev/null | cut -d' ' -f3), zip $(zip -v | sed -n 's/^This is Zip \([^ ]*\).*/\1/p')."
echo
table_head
for entry in "${rows[@]}"; do
  IFS='|' read -r ours label reference theirs target <<<"$entry"
  compare_row "$label" "$ours" "$reference" "$theirs" "$target"
done
