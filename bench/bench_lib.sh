# shellcheck shell=bash disable=SC2154
# Helpers shared by the shell benchmarks; sourced, not run. The caller sets
# repo (the repository), work (its scratch folder), log (a file collecting
# the tools' output) and cli (trovalo-cli) before using them.
#
# Method: caches cannot be dropped here, so every tool gets one warm-up run
# (round 0, not counted) and the median of the timed rounds after it is
# compared; `sync` runs before each timed command so that no run pays for
# the write-back of another; the order of the tools rotates from round to
# round so that none always runs first or on the fullest file system.

# Reads the options every benchmark takes into base, build, runs, files and
# keep (--dir, --build, --runs, --files, --keep) and answers --help with the
# script's header comment. An option only the script knows goes to its
# function bench_own_option (when it has one), which sets took to the
# number of words it used (0: not its option).
bench_options() {
  base=/tmp
  build=
  runs=3
  files=20000
  keep=0
  while [ $# -gt 0 ]; do
    case $1 in
      --dir) base=$2; shift 2 ;;
      --build) build=$2; shift 2 ;;
      --runs) runs=$2; shift 2 ;;
      --files) files=$2; shift 2 ;;
      --keep) keep=1; shift ;;
      -h|--help) sed -n '2,/^[^#]/{/^#/s/^# \{0,1\}//p}' "$0"; exit 0 ;;
      *)
        took=0
        if declare -F bench_own_option >/dev/null; then bench_own_option "$@"; fi
        if [ "$took" -eq 0 ]; then
          echo "$(basename "$0"): unknown argument $1 (see --help)" >&2
          exit 3
        fi
        shift "$took" ;;
    esac
  done
}

# Builds the given targets in the build folder $build (when empty:
# build-bench, configured when missing; $build is set to it).
bench_build() {
  if [ -z "$build" ]; then
    build=$repo/build-bench
    export CCACHE_DIR=${CCACHE_DIR:-$HOME/.cache/ccache} CCACHE_BASEDIR=$repo CCACHE_NOHASHDIR=true
    [ -f "$build/build.ninja" ] || cmake -S "$repo" -B "$build" -G Ninja -DTROVALO_TESTS=OFF >/dev/null
  fi
  echo "Building $* in $build ..."
  cmake --build "$build" --target "$@" -- -j2 >/dev/null
}

# Makes the scratch folder $work (under --dir) with the drives C: ($C) and E:
# ($E, the "USB" drive) and the log $log; removed at exit unless --keep. $1
# names the benchmark.
bench_drives() {
  mkdir -p "$base"
  work=$(mktemp -d "$(cd "$base" && pwd)/trovalo-$1-bench.XXXXXX")
  trap 'if [ "$keep" -eq 1 ]; then echo "Trees kept in $work"; else rm -rf "$work"; fi' EXIT
  C=$work/c
  E=$work/e
  mkdir -p "$C/ProgramData" "$E" "$work/unison"
  export TROVALO_DRIVES="C=$C;E=$E,bus=USB"
  export ProgramData='C:\ProgramData'
  # unison keeps its archives here, not in the user's home.
  export UNISON=$work/unison
  log=$work/bench.log
  : >"$log"
}

# Ten small text files spread over the tree $src, into the array changed.
pick_changed_files() {
  local documents k
  mapfile -t documents < <(find "$src" -type f -name 'document *' | sort)
  [ "${#documents[@]}" -ge 10 ] || fail "only ${#documents[@]} text files in the tree (use more --files)"
  changed=()
  for k in $(seq 0 9); do changed+=("${documents[$((k * ${#documents[@]} / 10))]}"); done
}

# Appends a line naming round $1 to each of the changed files. FileLog keeps
# the start time of the run that added a file, and a file counts as changed
# when its date (two-second precision) is later: the change waits two seconds.
change_files() {
  local path
  sleep 2
  for path in "${changed[@]}"; do printf 'changed in round %d\n' "$1" >>"$path"; done
}

# Warns unless the archive $1 holds the last change of each changed file.
check_changes_in() {
  local path
  for path in "${changed[@]}"; do
    unzip -p "$1" "${path#"$C"/}" | cmp -s - "$path" \
      || echo "  (warning: the archive does not hold the last change of ${path#"$C"/})"
  done
}

median() { printf '%s\n' "$@" | sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }

fail() {
  echo "failed: $*  (see $log)" >&2
  tail -20 "$log" >&2
  exit 1
}

# Wall time and CPU time (user + system, the command's processes) of one
# command or function, in seconds; its output goes to the log.
timed() {
  sync
  local TIMEFORMAT='%3R %3U %3S'
  { time "$@" >>"$log" 2>&1; } 2>"$work/time.txt" || fail "$@"
  awk '{ printf "%.3f %.3f\n", $1, $2 + $3 }' "$work/time.txt"
}

# Creates a backup job (type $1) from folder $2 into the new folder $3 and
# prints the job file's native path.
new_job() {
  mkdir -p "$3"
  "$cli" new backup --direction to-usb --type "$1" --source "$2" --destination "$3" --name "bench $1" \
    | sed -n 's/^  (\(.*\))$/\1/p' | head -1
}

run_job() { "$cli" run "$1" --yes; }

# Runs the tools of one round in rotated order and records their wall and
# CPU times in walls[tool] and cpus[tool] (rounds after the warm-up round 0
# only). Each tool is a function taking the round number.
declare -A walls cpus
run_round() {
  local round=$1 count=$(($# - 1)) k tool wall cpu line="  round $1:"
  shift
  local tools=("$@")
  for ((k = 0; k < count; k++)); do
    tool=${tools[$(((k + round) % count))]}
    read -r wall cpu < <(timed "$tool" "$round") || fail "$tool"
    line+=" $tool $wall s (cpu $cpu s),"
    if [ "$round" -gt 0 ]; then
      walls[$tool]+=" $wall"
      cpus[$tool]+=" $cpu"
    fi
  done
  echo "${line%,}"
}
# The recorded times are space-separated lists: split on purpose.
# shellcheck disable=SC2086
wall_of() { median ${walls[$1]}; }
# shellcheck disable=SC2086
cpu_of() { median ${cpus[$1]}; }

# The table of results.
verdict() {
  awk -v r="$1" -v limit="$2" -v op="$3" \
    'BEGIN { ok = (op == "<=") ? (r <= limit) : (r < limit); print ok ? "met" : "MISSED" }'
}
row() { printf '| %-40s | %9s | %-32s | %5s | %9s | %-8s | %-6s |\n' "$@"; }
table_head() {
  row measurement Trovalo reference ratio "CPU ratio" target result
  row "$(printf -- '-%.0s' {1..40})" "$(printf -- '-%.0s' {1..9})" "$(printf -- '-%.0s' {1..32})" \
    ----- --------- -------- ------
}
# A timed comparison: label, our tool, the reference's label and tool,
# target ratio (empty: none).
compare_row() {
  local ours_wall ours_cpu ref_wall ref_cpu r target=${5:-}
  ours_wall=$(wall_of "$2") ours_cpu=$(cpu_of "$2") ref_wall=$(wall_of "$4") ref_cpu=$(cpu_of "$4")
  r=$(ratio "$ours_wall" "$ref_wall")
  row "$1" "$ours_wall s" "$3 $ref_wall s" "$r" "$(ratio "$ours_cpu" "$ref_cpu")" "${target:+<= $target}" \
    "$([ -n "$target" ] && verdict "$r" "$target" '<=' || echo info)"
}

# The machine and method lines printed above a table; $1 is the runs count,
# $2 the base folder of the drives.
machine_text() {
  echo "Median of $1 runs after one warm-up run per tool (warm page cache), sync before each run;"
  echo "ratio = ours / theirs in wall time, CPU ratio = the same in CPU time (user + system)."
  echo "Machine: $(lscpu | sed -n 's/^Model name: *//p' | head -1), $(nproc) cores," \
    "$(free -g | awk '/^Mem:/ { print $2 }') GiB; file system of $2: $(findmnt -n -o FSTYPE -T "$2")"
}
