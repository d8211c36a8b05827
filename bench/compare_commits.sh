#!/usr/bin/env bash
# Builds bench/decompositions_bench.cpp against an earlier commit and against
# the current tree (working changes included), checks that both give the
# same bits and leave the same remembered defaults on the differential set,
# and prints their timings side by side, with LAPACK's for scale.
#
#   bench/compare_commits.sh <base-commit> [sizes...]     (sizes: 16 64 128)
#
# Environment: ORVIK_COMPARE_DIR keeps the builds there (default: a fresh
# temporary folder, removed at the end); ORVIK_BENCH_SECONDS is the time
# spent per measurement (default 0.5, at least one run); ORVIK_BENCH_ONLY
# limits the timings to some routines (qr_ho,qr_gs,qr_gsro,svd,eig_qr);
# ORVIK_COMPARE_BITS_ONLY=1
# stops after the bit comparison; ORVIK_COMPARE_SKIP, an extended regular
# expression, leaves the cases whose names it matches out of the bit
# comparison (for changes made on purpose between the two commits, such as
# the rescued Cholesky pseudo-inverses: ORVIK_COMPARE_SKIP='^pinv_chol').
# One thread throughout: LAPACK is held to one thread too.
set -euo pipefail

root=$(git -C "$(dirname "$0")" rev-parse --show-toplevel)
if [ $# -lt 1 ]; then
  echo "usage: $0 <base-commit> [sizes...]" >&2
  exit 2
fi
base=$1
shift
sizes=("$@")
[ ${#sizes[@]} -gt 0 ] || sizes=(16 64 128)

packages=(cmake ninja-build g++ liblapack-dev)
missing=()
for p in "${packages[@]}"; do dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p"); done
if [ ${#missing[@]} -gt 0 ]; then
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${missing[@]}"
fi

if [ -n "${ORVIK_COMPARE_DIR:-}" ]; then
  work=$ORVIK_COMPARE_DIR
  mkdir -p "$work"
else
  work=$(mktemp -d)
  trap 'rm -rf "$work"' EXIT
fi

base_id=$(git -C "$root" rev-parse --short "$base")
rm -rf "$work/base-src"
mkdir -p "$work/base-src"
git -C "$root" archive "$base_id" | tar -x -C "$work/base-src"

build() {  # build <name> <orvik tree>
  cmake -S "$root/bench/compare" -B "$work/$1-build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DORVIK_TREE="$2" >/dev/null
  cmake --build "$work/$1-build" --target decompositions_bench -j2 >/dev/null
}
echo "building $base_id and the current tree in $work"
build base "$work/base-src"
build head "$root"

export OPENBLAS_NUM_THREADS=1 OMP_NUM_THREADS=1 GOTO_NUM_THREADS=1

echo "== same bits: every result, error and remembered default on the differential set"
"$work/base-build/decompositions_bench" digest >"$work/base.digest"
"$work/head-build/decompositions_bench" digest >"$work/head.digest"
# The last field of a line is the digest of the raw bits, NaN signs and
# payloads included, which two kernel tables may already choose differently;
# the one before it counts every NaN alike.
# With cases left out, the digest of all cases together ("all") is too.
values() { awk '{ $NF = ""; print }' "$1" | { if [ -n "${ORVIK_COMPARE_SKIP:-}" ]; then grep -Ev "($ORVIK_COMPARE_SKIP)|^all " || true; else cat; fi; }; }
if [ -n "${ORVIK_COMPARE_SKIP:-}" ]; then
  echo "left out of the comparison: $(grep -Ec "$ORVIK_COMPARE_SKIP" "$work/head.digest" || true) cases matching $ORVIK_COMPARE_SKIP"
fi
cases=$(values "$work/head.digest" | grep -c .)
if cmp -s <(values "$work/base.digest") <(values "$work/head.digest"); then
  echo "identical on $cases cases"
else
  echo "DIFFERENT (first differences below)"
  diff <(values "$work/base.digest") <(values "$work/head.digest") | head -20
  exit 1
fi
raw=$(cmp -s "$work/base.digest" "$work/head.digest" && echo 0 || diff "$work/base.digest" "$work/head.digest" | grep -c '^>' || true)
echo "cases whose NaNs differ only in sign or payload: $raw"

[ "${ORVIK_COMPARE_BITS_ONLY:-0}" = 1 ] && exit 0

echo "== timings (ms per call, median; one thread)"
# One routine and size at a time, the two builds one after the other, so
# that a change in the machine's load falls on both alike.
IFS=, read -r -a routines <<<"${ORVIK_BENCH_ONLY:-qr_ho,qr_gs,qr_gsro,svd,eig_qr}"
: >"$work/base.time"
: >"$work/head.time"
for n in "${sizes[@]}"; do
  for r in "${routines[@]}"; do
    ORVIK_BENCH_ONLY=$r "$work/base-build/decompositions_bench" time "$n" >>"$work/base.time"
    ORVIK_BENCH_ONLY=$r "$work/head-build/decompositions_bench" time "$n" >>"$work/head.time"
  done
done

awk -v base="$base_id" '
  FNR == 1 { file++ }
  file == 1 && $1 == "time" { old[$2 " " $3] = $4; oldd[$2 " " $3] = $5 }
  file == 2 && $1 == "time" { key = $2 " " $3; order[++count] = key; now[key] = $4; nowd[key] = $5 }
  file == 2 && $1 == "lapack" { lapack[$2 " " $3] = $4 }
  file == 2 && $1 == "rate" { rate[$2 " " $3] = $4 }
  END {
    printf "%-10s %5s %12s %12s %9s %6s %12s\n", "routine", "n", base, "current", "speed-up", "bits", "LAPACK"
    lap["qr_ho"] = "qr_sgeqrf_sorgqr"; lap["qr_gs"] = "qr_sgeqrf_sorgqr"; lap["qr_gsro"] = "qr_sgeqrf_sorgqr"
    lap["svd"] = "svd_sgesvd"; lap["eig_qr"] = "eig_sgeev"
    for (i = 1; i <= count; i++) {
      split(order[i], f, " ")
      l = (lap[f[1]] " " f[2]) in lapack ? sprintf("%.4f", lapack[lap[f[1]] " " f[2]]) : "-"
      printf "%-10s %5d %12.4f %12.4f %8.1fx %6s %12s\n", f[1], f[2], old[order[i]], now[order[i]],
             old[order[i]] / now[order[i]], oldd[order[i]] == nowd[order[i]] ? "same" : "DIFF", l
    }
    print ""
    print "Householder: GFlop/s on its explicit products (Q*H, H*R) next to m_prod_mat on n x n (current tree)"
    for (i = 1; i <= count; i++) {
      split(order[i], f, " ")
      if (f[1] == "qr_ho") printf "  n = %4d: %8.3f   m_prod_mat: %8.3f\n", f[2], rate["qr_ho_products " f[2]], rate["m_prod_mat " f[2]]
    }
  }' "$work/base.time" "$work/head.time"
