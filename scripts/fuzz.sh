#!/usr/bin/env bash
# Builds the fuzzing target (fuzz/) with clang under AddressSanitizer and
# UndefinedBehaviorSanitizer and runs it for a given time, one process at a
# time and at the lowest priority.
#
#   scripts/fuzz.sh [seconds=600] [build folder=build-fuzz] [largest input=2500000]
#
# A smaller largest input (say 65536) runs many times faster on the small
# pictures, where the check of the two decodes is sharpest.
#
# Seeds: real cards in every format (fuzz_seeds), the imaging test pictures
# and the regression corpus. New interesting inputs collect in
# <build>/fuzz-work/corpus; crashes, hangs, running out of memory and
# differences between two decodes in <build>/fuzz-work/artifacts. Every
# artifact belongs in tests/data/fuzz-regressions (replayed by test_imaging)
# once it is mended, in tests/data/fuzz-regressions/pending until then.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-600}
build=$(realpath -m "${2:-$root/build-fuzz}")
max_len=${3:-2500000}
work=$build/fuzz-work
san="-fsanitize=address,undefined -fno-sanitize-recover=undefined -fno-omit-frame-pointer"

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
        -DKARTOVO_FUZZ=ON -DKARTOVO_BUILD_TESTS=OFF -DKARTOVO_BUILD_BENCH=OFF \
        -DCMAKE_CXX_FLAGS="$san -fsanitize=fuzzer-no-link" -DCMAKE_EXE_LINKER_FLAGS="$san"
fi
nice -n 19 cmake --build "$build" -j2 --target fuzz_picture fuzz_seeds

mkdir -p "$work/corpus" "$work/artifacts"
if [ ! -f "$work/seeds/card.pcx" ]; then
    mkdir -p "$work/seeds"
    ASAN_OPTIONS=detect_leaks=0 "$build/fuzz/fuzz_seeds" "$work/seeds"
    for f in "$root"/tests/data/imaging/*; do
        case "$f" in *.md) ;; *) cp "$f" "$work/seeds/test-$(basename "$f")" ;; esac
    done
fi
inputs=("$work/seeds")
[ -d "$root/tests/data/fuzz-regressions" ] && inputs+=("$root/tests/data/fuzz-regressions")

# No quarantine and no fill of new blocks: a freed block is handed out again
# as it was left, so a picture built from memory the file did not fill
# differs between the target's two decodes.
export ASAN_OPTIONS=detect_leaks=0:quarantine_size_mb=0:max_malloc_fill_size=0:allocator_may_return_null=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export QT_QPA_PLATFORM=offscreen
cd "$work"
exec nice -n 19 "$build/fuzz/fuzz_picture" -fork=1 -ignore_crashes=1 -ignore_timeouts=1 -ignore_ooms=1 \
    -max_total_time="$seconds" -timeout=30 -rss_limit_mb=3072 -max_len="$max_len" \
    -dict="$root/fuzz/pictures.dict" -artifact_prefix="$work/artifacts/" \
    "$work/corpus" "${inputs[@]}"
