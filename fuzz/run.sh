#!/usr/bin/env bash
# Builds the libFuzzer build and runs one fuzz target.
#
#   fuzz/run.sh [seconds] [target]      (default 600 seconds, fuzz_text; or fuzz_rtf)
#
# The corpus grows in fuzz/corpus-NAME/ (git-ignored), starting from fuzz/seeds-NAME/ (fuzz/seeds/
# for fuzz_text). Exits non-zero
# when the fuzzer found a crash, a hang, a leak or a failed check; the input that did it is kept
# as fuzz/crash-* (or timeout-*, leak-*, oom-*) and can be replayed with
#   build-fuzz/fuzz/fuzz_text fuzz/crash-...
set -euo pipefail

seconds="${1:-600}"
target="${2:-fuzz_text}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="$root/build-fuzz"
name="${target#fuzz_}"
corpus="$here/corpus-$name"
seeds="$here/seeds"
[[ $name == text ]] || seeds="$here/seeds-$name"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPENLOFT_FUZZ=ON -DBUILD_TESTING=OFF -DPENLOFT_BENCH=OFF
cmake --build "$build" -j2

mkdir -p "$corpus"
# Seeds go in every time (without overwriting), so that new regression inputs are replayed.
cp -n "$seeds"/* "$corpus"/

# Anything newer than this marker in fuzz/ is a finding of this run.
marker="$build/fuzz-run-started"
touch "$marker"

export QT_QPA_PLATFORM=offscreen
status=0
# -timeout: one run takes milliseconds, so seconds means a hang.
# -rss_limit_mb: ASan's quarantine and Qt's font caches grow to about 1 GB in ten minutes; a
#  genuine blow-up still goes far past the default 2 GB limit.
"$build/fuzz/$target" -max_len=4096 -max_total_time="$seconds" -timeout=20 -rss_limit_mb=4096 \
    -print_final_stats=1 -artifact_prefix="$here/" "$corpus" 2>&1 | tee "$build/$target.log" || status=$?

findings="$(find "$here" -maxdepth 1 -newer "$marker" \
    \( -name 'crash-*' -o -name 'timeout-*' -o -name 'leak-*' -o -name 'oom-*' \) -print)"
if [[ $status -ne 0 || -n "$findings" ]]; then
    echo "$target found a problem (exit status $status):" >&2
    [[ -n "$findings" ]] && echo "$findings" >&2
    echo "log: $build/$target.log" >&2
    exit 1
fi
echo "$target: no findings in ${seconds} s"
