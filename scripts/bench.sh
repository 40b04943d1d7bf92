#!/usr/bin/env bash
# scripts/bench.sh [extra benchmark flags]
#
# Builds and runs cipher_bench (native preset) and prints three ratios of our
# code against OpenSSL's BF_* on the same inputs, from the medians of several
# repetitions (CPU time, which a busy shared machine disturbs less than wall
# time):
#   block        our EncipherBlock MB/s / BF_ecb_encrypt MB/s      target >= 1.0
#   key schedule BF_set_key time / our key schedule time           target >= 1.0
#   codec        our EncryptString+DecryptString time /
#                (BF_set_key + 2 x BF_encrypt) time                target <= 2.0
# Exits 1 when a target is missed, 2 when the benchmark could not run.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
# shellcheck source=lib.sh
. "$ROOT/scripts/lib.sh"
BUILD=${QLX_BUILD_DIR:-$ROOT/build/native}

[[ -f $BUILD/CMakeCache.txt ]] || cmake --preset native -B "$BUILD"
cmake --build "$BUILD" --target cipher_bench -j "${QLX_JOBS:-2}"

new_work_dir bench
out=$work/out
# Interleaving the repetitions spreads the machine's ups and downs over all
# benchmarks instead of charging them to whichever runs at that moment.
"$BUILD/bench/cipher_bench" \
  --benchmark_repetitions="${QLX_BENCH_REPETITIONS:-7}" \
  --benchmark_min_time="${QLX_BENCH_MIN_TIME:-0.3}" \
  --benchmark_enable_random_interleaving=true \
  --benchmark_report_aggregates_only=true \
  --benchmark_out="$out" --benchmark_out_format=json \
  "$@" || exit 2

python3 - "$out" <<'EOF'
import json, sys

runs = json.load(open(sys.argv[1]))["benchmarks"]
median = {r["run_name"]: r for r in runs if r.get("aggregate_name") == "median"}

def get(name, field):
    if name not in median:
        sys.exit(f"bench.sh: no median for {name} in the results")
    return float(median[name][field])

def mbps(name):
    return get(name, "bytes_per_second") / 1e6

def cpu(name):
    return get(name, "cpu_time")  # same time unit for every benchmark here

print()
print("medians (CPU time):")
for name in ("BM_Block_Ours_EncipherBlock", "BM_Block_Ours_Encrypt_Block", "BM_Block_OpenSSL_BF_ecb_encrypt",
             "BM_Block_Ours_Encipher_Words", "BM_Block_OpenSSL_BF_encrypt_Words"):
    print(f"  {name:36s} {mbps(name):9.1f} MB/s")
for name in ("BM_KeySchedule_Ours", "BM_KeySchedule_OpenSSL",
             "BM_Codec_Ours_EncryptDecrypt", "BM_Codec_OpenSSL_SetKeyTwoBlocks", "BM_Setting_ProteggiRivela"):
    print(f"  {name:36s} {cpu(name) / 1000:9.2f} us")

ratios = [
    ("block (EncipherBlock / BF_ecb_encrypt)",
     mbps("BM_Block_Ours_EncipherBlock") / mbps("BM_Block_OpenSSL_BF_ecb_encrypt"), ">=", 1.0),
    ("key schedule (BF_set_key / ours)",
     cpu("BM_KeySchedule_OpenSSL") / cpu("BM_KeySchedule_Ours"), ">=", 1.0),
    ("codec (ours / BF_set_key + 2 blocks)",
     cpu("BM_Codec_Ours_EncryptDecrypt") / cpu("BM_Codec_OpenSSL_SetKeyTwoBlocks"), "<=", 2.0),
]
print()
print("ratios:")
missed = 0
for label, value, op, target in ratios:
    ok = value >= target if op == ">=" else value <= target
    missed += not ok
    print(f"  {label:42s} {value:6.3f}  (target {op} {target})  {'met' if ok else 'MISSED'}")
info = mbps("BM_Block_Ours_Encrypt_Block") / mbps("BM_Block_OpenSSL_BF_ecb_encrypt")
print(f"  {'block via Encrypt_Block (for information)':42s} {info:6.3f}")
road = cpu("BM_Setting_ProteggiRivela") / cpu("BM_Codec_OpenSSL_SetKeyTwoBlocks")
print(f"  {'stored value, two codecs (for information)':42s} {road:6.3f}")
sys.exit(1 if missed else 0)
EOF
