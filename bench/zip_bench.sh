#!/usr/bin/env bash
# Zip and restore benchmark: Trovalo's zip engine and restore (trovalo-cli
# run / restore) side by side with Info-ZIP zip and unzip, cp and cp -a on
# the copy benchmark's generated tree, on isolated drives (TROVALO_DRIVES:
# C= the source folder, E= the "USB" destination folder, both under one base
# folder). Prints a table of ratios (ours / theirs) against the targets. Not
# a test: run it by hand on a quiet machine.
#
#   bench/zip_bench.sh [--dir BASE] [--build DIR] [--runs N] [--files N]
#                      [--keep]
#
#   --dir BASE    where the drives are made (default /tmp); needs about
#                 14 GB free with the default tree
#   --build DIR   an existing build tree (default: configures and builds
#                 build-bench)
#   --runs N      timed runs per measurement (default 3; median shown)
#   --files N     small files in the tree (default 20000)
#   --keep        keep the generated trees (printed at the end)
#
# Measured: a first zip backup ("Completely New" job, a new destination per
# run) against zip -r -q -6; an incremental zip run that adds 10 changed
# files to the archive of the whole tree against one cp of that archive
# (updating a zip archive safely means writing it anew); the restore of a
# whole run to a new folder, of a copy backup against cp -a of its folder
# and of a zip backup against unzip -q of its archive. Information rows:
# each reference followed by sync (Trovalo's runs wait for their data to
# reach the disk, the plain tools leave it in the page cache), and zip with
# Trovalo's settings: both deflate at level 6, but Trovalo stores files of
# already packed kinds (.jpg, .zip, ...) without trying to deflate them,
# which zip does only for the suffixes given to -n.
# Same method as bench/copy_bench.sh (see bench/bench_lib.sh): warm page
# cache, one warm-up run, medians, sync before each run, rotating order,
# nothing deleted until the end.
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source-path=SCRIPTDIR source=bench_lib.sh
source "$repo/bench/bench_lib.sh"
bench_options "$@"


# --- tools and build -------------------------------------------------------------
"$repo/scripts/install-deps.sh" zip unzip python3
bench_build trovalo-cli
cli=$build/trovalo-cli
tree=$repo/bench/bench_tree.py

# --- drives ------------------------------------------------------------------------
bench_drives zip

# Changes an existing job file's ArchiveMode through the JSON round trip of
# show and save (the password, if any, kept as it is).
set_archive_mode() {
  "$cli" show --show-password "$1" \
    | python3 -c 'import json, sys
record = json.load(sys.stdin)
record["properties"]["ArchiveMode"] = sys.argv[1]
json.dump(record, sys.stdout)' "$2" \
    | "$cli" save "$1" >>"$log"
}

# The folder "src" (the tree) below a restore or unzip target.
found_tree() { find "$1" -type d -name src -print -quit; }

# Warns unless the tree below $2 has the content of the source tree.
check_tree() {
  local copy
  copy=$(found_tree "$2")
  if [ -z "$copy" ]; then
    echo "  (warning: $1 holds no folder src; see $log)"
  elif ! diff -rq "$src" "$copy" >>"$log" 2>&1; then
    echo "  (warning: $1 differs from the source tree; see $log)"
  fi
}

# --- the tree ------------------------------------------------------------------------
echo "Generating the tree ($files small files, 3 x 64 MB) ..."
src=$C/src
python3 "$tree" make "$src" --files "$files" --folders $((files / 10)) --big 3 --big-mb 64 | tee -a "$log"
tree_text=$(tail -1 "$log")

# --- first zip backup ------------------------------------------------------------------
echo "First zip backup: trovalo-cli run vs zip -r -q -6 (1 warm-up + $runs runs each) ..."
declare -a zip_jobs
for round in $(seq 0 "$runs"); do
  zip_jobs[round]=$(new_job zip "$src" "$E/zip-$round")
done
zip_trovalo() { run_job "${zip_jobs[$1]}"; }
zip_infozip() { (cd "$C" && zip -r -q -6 "$E/infozip-$1.zip" src); }
zip_infozip_sync() { (cd "$C" && zip -r -q -6 "$E/infozip-sync-$1.zip" src) && sync; }
# The kinds TZipArchive stores without deflating them.
stored_suffixes=.zip:.7z:.gz:.jpg:.jpeg:.png:.mp3:.mp4:.mkv:.avi:.docx:.xlsx:.pptx:.odt
zip_infozip_alike() { (cd "$C" && zip -r -q -6 -n "$stored_suffixes" "$E/infozip-alike-$1.zip" src); }
for round in $(seq 0 "$runs"); do
  run_round "$round" zip_trovalo zip_infozip zip_infozip_sync zip_infozip_alike
done
our_archive=$E/zip-$runs/C.Zip
their_archive=$E/infozip-$runs.zip
[ -f "$our_archive" ] || fail "no archive $our_archive"
archive_text() {
  awk -v bytes="$(stat -c %s "$1")" -v entries="$(zipinfo -1 "$1" | wc -l)" \
    'BEGIN { printf "%.1f MB, %d entries", bytes / 1048576, entries }'
}
our_archive_text=$(archive_text "$our_archive")
their_archive_text=$(archive_text "$their_archive")
alike_archive_text=$(archive_text "$E/infozip-alike-$runs.zip")
echo "  archives: ours $our_archive_text; zip -6: $their_archive_text; zip -6 -n: $alike_archive_text"

# --- restore of a whole run ------------------------------------------------------------
# Before the incremental runs below change the tree, so that every restore
# can be compared with it.
echo "Restore of a copy backup: trovalo-cli restore vs cp -a of the backup folder ..."
copy_job=$(new_job incremental "$src" "$E/copy")
run_job "$copy_job" >>"$log" 2>&1 || fail "the copy backup"
restore_copy_trovalo() { mkdir "$C/restore-copy-$1" && "$cli" restore --yes --to "$C/restore-copy-$1" "$copy_job"; }
restore_copy_cp() { cp -a "$E/copy" "$C/cp-copy-$1"; }
restore_copy_cp_sync() { cp -a "$E/copy" "$C/cps-copy-$1" && sync; }
for round in $(seq 0 "$runs"); do
  run_round "$round" restore_copy_trovalo restore_copy_cp restore_copy_cp_sync
done
check_tree "the restore of the copy backup" "$C/restore-copy-$runs"

echo "Restore of a zip backup: trovalo-cli restore vs unzip -q of the archive ..."
restore_zip_trovalo() { mkdir "$C/restore-zip-$1" && "$cli" restore --yes --to "$C/restore-zip-$1" "${zip_jobs[$runs]}"; }
restore_zip_unzip() { unzip -q "$our_archive" -d "$C/unzip-$1"; }
restore_zip_unzip_sync() { unzip -q "$our_archive" -d "$C/unzips-$1" && sync; }
for round in $(seq 0 "$runs"); do
  run_round "$round" restore_zip_trovalo restore_zip_unzip restore_zip_unzip_sync
done
check_tree "the restore of the zip backup" "$C/restore-zip-$runs"
check_tree "unzip of our archive" "$C/unzip-$runs"

# --- incremental zip run ----------------------------------------------------------------
echo "Incremental zip run adding 10 changed files: trovalo-cli run vs cp of the archive ..."
# "trovalo-cli new" makes zip jobs "Completely New" (rebuilt on every run);
# the same job switched to "Incremental" adds only what changed.
inc_job=$(new_job zip "$src" "$E/incremental")
set_archive_mode "$inc_job" amIncremental
run_job "$inc_job" >>"$log" 2>&1 || fail "the first run of the incremental zip job"
inc_archive=$E/incremental/C.Zip
pick_changed_files
inc_trovalo() { run_job "$inc_job"; }
inc_cp() { cp "$inc_archive" "$E/archive-copy-$1.zip"; }
inc_cp_sync() { cp "$inc_archive" "$E/archive-copys-$1.zip" && sync; }
for round in $(seq 0 "$runs"); do
  change_files "$round"
  run_round "$round" inc_trovalo inc_cp inc_cp_sync
done
check_changes_in "$inc_archive"

# --- the table -------------------------------------------------------------------------
echo
echo "Tree: $tree_text."
machine_text "$runs" "$base"
echo "zip $(zip -v | sed -n 's/^This is Zip \([^ ]*\).*/\1/p'), unzip $(unzip -v | sed -n '1s/^UnZip \([^ ]*\).*/\1/p')," \
  "libzip $(pkg-config --modversion libzip 2>/dev/null || echo '?'), $(cp --version | head -1)."
echo "Archives of the first backup: ours $our_archive_text; zip -6: $their_archive_text;" \
  "zip -6 -n: $alike_archive_text (zip also stores an entry per folder)."
echo
table_head
compare_row "first zip backup" zip_trovalo "zip -r -q -6" zip_infozip 1.20
compare_row "first zip backup" zip_trovalo "zip -r -q -6; sync" zip_infozip_sync
compare_row "first zip backup" zip_trovalo "zip -6 -n (as ours)" zip_infozip_alike
compare_row "incremental zip run, 10 files changed" inc_trovalo "cp of the archive" inc_cp 1.00
compare_row "incremental zip run, 10 files changed" inc_trovalo "cp of the archive; sync" inc_cp_sync
compare_row "restore of a copy backup" restore_copy_trovalo "cp -a" restore_copy_cp 1.10
compare_row "restore of a copy backup" restore_copy_trovalo "cp -a; sync" restore_copy_cp_sync
compare_row "restore of a zip backup" restore_zip_trovalo "unzip -q" restore_zip_unzip 1.20
compare_row "restore of a zip backup" restore_zip_trovalo "unzip -q; sync" restore_zip_unzip_sync
