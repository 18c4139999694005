#!/usr/bin/env bash
# Makes the Speed table of README.md from scratch: a Release build, the units, and beside each
# unit's run two image comparison tools given the same two images, odiff (its native binary) and
# pixelmatch (its own command-line tool), fetched from npm into a scratch folder that is removed
# at exit: they are taken for the measurement only and are no dependency of the project.
#
# Usage (Debian 12, as root for the packages): bash bench/speed-table.sh [runs [row...]]
#   runs  whole runs of each tool, taken in turn (default 7)
#   row   SIDE-KIND, KIND failing, passing or different (default the table's eight rows)
# Progress goes to standard error; the machine, its load and the table to standard output.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
odiff_version=4.5.0
pixelmatch_version=8.0.0

say() { echo "speed-table: $*" >&2; }
die() {
    echo "speed-table: $*" >&2
    exit 1
}

runs=${1:-7}
[[ $runs =~ ^[1-9][0-9]*$ ]] || die "usage: bash bench/speed-table.sh [runs [SIDE-KIND...]]"
shift $(($# > 0 ? 1 : 0))
rows=("$@")
((${#rows[@]})) || rows=(320-failing 320-passing 320-different 1000-failing 2048-failing 4096-failing 4096-passing
                         4096-different)
for row in "${rows[@]}"; do
    [[ $row =~ ^[0-9]+-(failing|passing|different)$ ]] || die "a row is SIDE-KIND, KIND failing, passing or different: $row"
done

bash "$root/scripts/install-deps.sh"
if ! command -v node >/dev/null || ! command -v npm >/dev/null; then
    say "installing nodejs and npm"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends nodejs npm
fi
node=$(command -v node)

build=$root/build-rel
launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
say "building $build (Release)"
bash "$root/scripts/build.sh" "$build" -DCMAKE_BUILD_TYPE=Release -DQV_TESTS=OFF -DQV_BENCH=ON -DQV_SANITIZE= \
    "${launcher[@]}" >&2
quirevale=$build/Quirevale.app/Contents/MacOS/quirevale
bench=$build/bitmapcheck_bench
timer=$build/in_turn

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/tmp" "$scratch/units"
say "fetching odiff-bin $odiff_version and pixelmatch $pixelmatch_version into $scratch"
(cd "$scratch" && npm install --prefix "$scratch" --cache "$scratch/npm-cache" --no-audit --no-fund --loglevel=error \
    --include=optional "odiff-bin@$odiff_version" "pixelmatch@$pixelmatch_version" >&2) ||
    die "npm could not install odiff-bin and pixelmatch"
# node_modules/.bin/odiff is a node script that starts the binary, adding node's start to
# every run: the binary is the one odiff-bin's own launcher finds.
odiff=$("$node" -e 'console.log(require(process.argv[1]).findBinary())' "$scratch/node_modules/odiff-bin/binary.js") ||
    die "odiff-bin's native binary was not found"
[[ $(od -An -tx1 -N4 "$odiff" | tr -d ' \n') == 7f454c46 ]] || die "$odiff is not a native (ELF) executable"
pixelmatch=$scratch/node_modules/pixelmatch/bin/pixelmatch
[[ -f $pixelmatch ]] || die "pixelmatch's command-line tool is not at $pixelmatch"
# Their exit statuses when the images differ.
odiff_differ=22
pixelmatch_differ=66
version() { "$node" -p 'require(process.argv[1]).version' "$scratch/node_modules/$1/package.json"; }

label() {
    local side=${1%-*} kind=${1#*-}
    echo "$side x $side, ${kind/different/entirely different}"
}
# Best ms, median ms and KiB as a cell: tenths below 20, where whole ones would hide differences.
cell() {
    awk -v b="$1" -v m="$2" -v k="$3" 'BEGIN {
        f = b < 20 ? "%.1f" : "%.0f"; mib = k / 1024
        printf f " ms, " f " ms, " (mib < 20 ? "%.1f" : "%.0f") " MiB", b, m, mib }'
}
# Runs a peer once, untimed, and prints its count of differing pixels; stops when it did not run
# or its verdict is not quirevale's.
check() {
    local name=$1 differ=$2 pixels=$3 output status count
    shift 3
    output=$("$@" 2>&1) && status=0 || status=$?
    case $name in
        odiff) count=$(sed -n 's/^Found \([0-9]*\) different pixels.*/\1/p; s/^Images are identical$/0/p' <<<"$output") ;;
        pixelmatch) count=$(sed -n 's/^different pixels: \([0-9]*\)$/\1/p' <<<"$output") ;;
    esac
    if [[ $status != "$((pixels > 0 ? differ : 0))" || -z $count ]] || (((count == 0) != (pixels == 0))); then
        die "$name did not run or disagrees with quirevale ($pixels differing pixels): exit status $status, output:
$output"
    fi
    echo "$count"
}

load_before=$(cut -d' ' -f1-3 /proc/loadavg)
table="| unit | quirevale | odiff | pixelmatch |
|---|---|---|---|"
counts=
for row in "${rows[@]}"; do
    dir=$scratch/units/$row
    mkdir "$dir"
    say "$(label "$row"): making the unit"
    made=$("$bench" speed-unit "$dir" "${row%-*}" "${row#*-}") || die "the unit $row could not be made"
    read -r status pixels <<<"$(sed -n 's/.*exit status \([0-9]*\), \([0-9]*\) differing pixels$/\1 \2/p' <<<"$made")"
    [[ -n ${pixels:-} ]] || die "unexpected line from speed-unit: $made"
    odiff_run=("$odiff" "$dir/a.png" "$dir/b.png" "$dir/odiff-difference.png" -t 0)
    pixelmatch_run=("$node" "$pixelmatch" "$dir/a.png" "$dir/b.png" "$dir/pixelmatch-difference.png" 0 true)
    odiff_count=$(check odiff $odiff_differ "$pixels" "${odiff_run[@]}")
    pixelmatch_count=$(check pixelmatch $pixelmatch_differ "$pixels" "${pixelmatch_run[@]}")
    counts+="
  $(label "$row"): $pixels, $odiff_count, $pixelmatch_count"

    say "$(label "$row"): $runs runs of each tool in turn"
    timed=$(TMPDIR=$scratch/tmp "$timer" "$runs" -- "$quirevale" regressionunit -file "$dir/page.kqvle" \
        -- "${odiff_run[@]}" -- "${pixelmatch_run[@]}") || die "timing $row failed"
    mapfile -t lines <<<"$timed"
    expected=("$status" "$((pixels > 0 ? odiff_differ : 0))" "$((pixels > 0 ? pixelmatch_differ : 0))")
    cells=()
    for i in 0 1 2; do
        read -r best median kib exit <<<"${lines[i]}"
        [[ $exit == "${expected[i]}" ]] || die "$row: a timed run ended with exit status $exit, not ${expected[i]}"
        cells+=("$(cell "$best" "$median" "$kib")")
    done
    table+="
| $(label "$row") | ${cells[0]} | ${cells[1]} | ${cells[2]} |"
done
load_after=$(cut -d' ' -f1-3 /proc/loadavg)

revision=$(git -C "$root" describe --always --dirty 2>/dev/null || echo "not a git checkout")
cat <<EOF
Machine: $(sed -n 's/^model name[[:space:]]*: //p' /proc/cpuinfo | head -1), $(nproc) cores, \
$(awk '/^MemTotal:/ { printf "%.1f GiB", $2 / 1048576 }' /proc/meminfo), $(sed -n 's/^PRETTY_NAME="\?\([^"]*\)"\?$/\1/p' /etc/os-release)
Load average (1, 5, 15 minutes): $load_before before, $load_after after
quirevale: Release build of $revision, the whole \`quirevale regressionunit -file <unit>\` process
odiff: $("$odiff" --version 2>&1 | head -1 | cut -d' ' -f2) (odiff-bin $(version odiff-bin)), its native binary ${odiff#"$scratch"/}, -t 0
pixelmatch: $(version pixelmatch), its command-line tool on node $("$node" --version), threshold 0, anti-aliased pixels counted
Each cell: best and median of $runs whole runs taken in turn, largest resident set
Differing pixels (quirevale, odiff, pixelmatch):$counts

$table
EOF
