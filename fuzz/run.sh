#!/usr/bin/env bash
# Builds the libFuzzer build and runs one fuzz target.
#
#   fuzz/run.sh [seconds] [target] [max_len]
#       (default 600 seconds, fuzz_text, inputs up to 1 MB; targets fuzz_text, fuzz_rtf,
#       fuzz_settings, fuzz_recovery, fuzz_layout)
#
# One job on one core (-jobs=1), so that the machine stays usable. Inputs start small and grow;
# a large input made from the seeds joins the corpus, so that inputs near the limit are tried too.
#
# The corpus grows in fuzz/corpus-NAME/ (git-ignored), starting from fuzz/seeds-NAME/ (fuzz/seeds/
# for fuzz_text). Exits non-zero
# when the fuzzer found a crash, a hang, a leak or a failed check; the input that did it is kept
# as fuzz/crash-* (or timeout-*, leak-*, oom-*) and can be replayed with
#   build-fuzz/fuzz/fuzz_text fuzz/crash-...
set -euo pipefail

seconds="${1:-600}"
target="${2:-fuzz_text}"
max_len="${3:-1048576}"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(dirname "$here")"
build="$root/build-fuzz"
name="${target#fuzz_}"
corpus="$here/corpus-$name"
seeds="$here/seeds"
[[ $name == text ]] || seeds="$here/seeds-$name"

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DPENLOFT_FUZZ=ON -DBUILD_TESTING=OFF -DPENLOFT_BENCH=OFF
cmake --build "$build" -j2 --target "$target"

mkdir -p "$corpus"
# Seeds go in every time (without overwriting), so that new regression inputs are replayed.
cp -n "$seeds"/* "$corpus"/
# The seeds repeated up to about max_len bytes.
large="$corpus/large-from-seeds"
if [[ ! -e $large ]]; then
    while [[ $(stat -c %s "$large" 2>/dev/null || echo 0) -lt $((max_len * 9 / 10)) ]]; do
        cat "$seeds"/* >> "$large"
    done
    truncate -s "$max_len" "$large"
fi

# Anything newer than this marker in fuzz/ is a finding of this run.
marker="$build/fuzz-run-started"
touch "$marker"

export QT_QPA_PLATFORM=offscreen
status=0
# -rss_limit_mb: ASan's quarantine and Qt's font caches grow to about 1 GB in ten minutes; a
#  genuine blow-up still goes far past the default 2 GB limit.
# -jobs=1: the run goes on in a child process whose output libFuzzer keeps in fuzz-0.log.
# -timeout: a run of a 1 MB input takes a few seconds under the sanitizers; a minute is a hang.
cd "$build"
rm -f fuzz-0.log
"$build/fuzz/$target" -max_len="$max_len" -max_total_time="$seconds" -timeout=60 -rss_limit_mb=4096 -jobs=1 -workers=1 \
    -print_final_stats=1 -artifact_prefix="$here/" "$corpus" > "$build/$target.log" 2>&1 || status=$?
cat fuzz-0.log >> "$build/$target.log" 2>/dev/null || true
tail -n 30 "$build/$target.log"

findings="$(find "$here" -maxdepth 1 -newer "$marker" \
    \( -name 'crash-*' -o -name 'timeout-*' -o -name 'leak-*' -o -name 'oom-*' \) -print)"
if [[ $status -ne 0 || -n "$findings" ]]; then
    echo "$target found a problem (exit status $status):" >&2
    [[ -n "$findings" ]] && echo "$findings" >&2
    echo "log: $build/$target.log" >&2
    exit 1
fi
echo "$target: no findings in ${seconds} s"
