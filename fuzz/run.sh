#!/usr/bin/env bash
# Runs every fuzz target of a VELMAR_FUZZ build for FUZZ_SECONDS (default 60)
# each, one after the other.
#
#   FUZZ_SECONDS=600 bash fuzz/run.sh build-fuzz [TARGET...]
#
# The seeds are made afresh at every run (nothing of them is committed): the
# GIF files of ../shared/gif-conformance and examples/, the image data cut out
# of them for the LZW target, and every input kept under tests/data/fuzz/.
# What a target finds goes to BUILD/fuzz-run/artifacts/; once understood and
# fixed, it belongs in tests/data/fuzz/<target>/, where the test suite
# replays it. The working corpora stay in BUILD/fuzz-run/corpus/ between runs.
set -u
build="$(cd "$1" && pwd)"
shift
seconds="${FUZZ_SECONDS:-60}"
src="$(cd "$(dirname "$0")/.." && pwd)"
work="$build/fuzz-run"
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(lzw_decode opengif roundtrip)

seeds="$work/seeds"
rm -rf "$seeds"
mkdir -p "$seeds/gif" "$seeds/lzw" "$work/artifacts" "$work/corpus"
gifs=()
while IFS= read -r -d '' f; do gifs+=("$f"); done < <(
    find "$src/../shared/gif-conformance" "$src/examples" -type f -iname '*.gif' -print0 2>/dev/null)
n=0
for f in "${gifs[@]}"; do
    n=$((n + 1))
    cp "$f" "$seeds/gif/$n-$(basename "$f")"
done
echo "fuzz: ${#gifs[@]} GIF seeds"
"$build/fuzz/velmar_fuzz_seeds" "$seeds/lzw" "${gifs[@]}"

# Scratch files of the reader and writer go to memory when it can.
if [ -d /dev/shm ] && [ -w /dev/shm ]; then export TMPDIR=/dev/shm; fi

# A GIF input up to 16 KiB holds hundreds of images; larger ones add little
# but time. Every input must finish in 20 s and 2.5 GB.
common=(-max_total_time="$seconds" -timeout=20 -rss_limit_mb=2560 -print_final_stats=1)
data="$src/tests/data/fuzz"
failed=()
for t in "${targets[@]}"; do
    corpus="$work/corpus/$t"
    mkdir -p "$corpus"
    case "$t" in
    lzw_decode) dirs=("$seeds/lzw" "$data/lzw_decode"); len=(-max_len=8192) ;;
    *) dirs=("$seeds/gif" "$data/opengif" "$data/roundtrip"); len=(-max_len=16384) ;;
    esac
    existing=()
    for d in "${dirs[@]}"; do [ -d "$d" ] && existing+=("$d"); done
    echo "fuzz: $t for ${seconds}s"
    if ! "$build/fuzz/fuzz_$t" "${common[@]}" "${len[@]}" -artifact_prefix="$work/artifacts/$t-" \
        "$corpus" "${existing[@]}" >"$work/$t.log" 2>&1; then
        failed+=("$t")
        tail -n 40 "$work/$t.log"
    fi
    grep -E '^stat::(number_of_executed_units|average_exec_per_sec|peak_rss_mb)' "$work/$t.log" | sed "s/^/fuzz: $t: /"
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz: findings in: ${failed[*]} (see $work/artifacts/ and $work/<target>.log)"
    exit 1
fi
echo "fuzz: no findings"
