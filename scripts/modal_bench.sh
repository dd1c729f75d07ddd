#!/usr/bin/env bash
# The lowest modes of large pairs: `qormtx modes` against scipy.sparse.linalg.eigsh(K, k, M=M, sigma=0) on the
# same files, one thread each, in one run: wall time, peak memory (maximum resident set) and the largest relative
# difference of the eigenvalues. Pairs: bcsstk25/bcsstm25 when the data folder has them, and a generated 3-D
# model (a block of nodes with scalar unknowns, 7-point stiffness with unequal springs along the axes, fixed all
# around, uneven lumped mass).
#
#   scripts/modal_bench.sh [--build DIR] [--grid N] [--count K] [--smoke]
#
# --grid N: N x N x 2N nodes (default 30, about 5e4 unknowns; 0: no generated model); --smoke: a tiny model only,
# for ctest.
# Needs Debian's python3-scipy (not a build dependency): without it the script says so and exits 0.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build
grid=30
count=20
smoke=0
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --grid) grid=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --smoke) smoke=1; grid=6; count=5; shift ;;
    *) echo "usage: $0 [--build DIR] [--grid N] [--count K] [--smoke]" >&2; exit 2 ;;
  esac
done
py=/usr/bin/python3
if ! $py -c 'import scipy.sparse.linalg' 2>/dev/null; then
  echo "modal_bench: python3-scipy is not installed (apt-get install python3-scipy); nothing measured"
  exit 0
fi
tool=$build/tools/qormtx
[ -x "$tool" ] || { echo "modal_bench: $tool not built" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export OMP_NUM_THREADS=1 OPENBLAS_NUM_THREADS=1 MKL_NUM_THREADS=1

# Generates the 3-D model's K and M as Matrix Market files.
[ "$grid" -gt 0 ] && $py - "$grid" "$work" <<'EOF'
import sys
import numpy as np
import scipy.sparse as sp
import scipy.io
n = int(sys.argv[1]); out = sys.argv[2]
nx, ny, nz = n, n, 2 * n
# Unequal springs along the axes, so that the modes do not come in exact multiples.
def lap(m, k):
    return sp.diags([-k * np.ones(m - 1), 2 * k * np.ones(m), -k * np.ones(m - 1)], [-1, 0, 1])
I = lambda m: sp.identity(m)
K = sp.kron(sp.kron(lap(nz, 1.0), I(ny)), I(nx)) + sp.kron(sp.kron(I(nz), lap(ny, 1.3)), I(nx)) + \
    sp.kron(sp.kron(I(nz), I(ny)), lap(nx, 1.7))
# The stencil's ends are fixed nodes outside the block, so K is positive definite.
K = K.tocsr()
mass = 1.0 + 0.5 * np.cos(np.arange(K.shape[0]))  # lumped, uneven
M = sp.diags(mass)
scipy.io.mmwrite(out + "/k.mtx", sp.tril(K).tocoo(), symmetry="symmetric")
scipy.io.mmwrite(out + "/m.mtx", sp.tril(M).tocoo(), symmetry="symmetric")

EOF

# eigsh on one pair: prints "seconds eigenvalues..." on the last line.
cat > "$work/eigsh.py" <<'EOF'
import sys, time
import numpy as np
import scipy.io
import scipy.sparse.linalg as sla
K = scipy.io.mmread(sys.argv[1]).tocsc(); M = scipy.io.mmread(sys.argv[2]).tocsc(); k = int(sys.argv[3])
t = time.perf_counter()
w = sla.eigsh(K, k=k, M=M, sigma=0, which="LM", return_eigenvectors=False)
print(time.perf_counter() - t, " ".join(repr(x) for x in sorted(w)))
EOF

# Runs a command under /usr/bin/time; prints "wall_seconds peak_kib".
measure() {
  local log=$1; shift
  /usr/bin/time -f "%e %M" -o "$log.time" "$@" > "$log" 2> "$log.err" || { cat "$log.err" >&2; return 1; }
  cat "$log.time"
}

compare() {
  local name=$1 k=$2 m=$3
  read -r qt qm < <(measure "$work/q.out" "$tool" modes "$k" "$m" --count "$count" --quiet)
  read -r st sm < <(measure "$work/s.out" "$py" "$work/eigsh.py" "$k" "$m" "$count")
  $py - "$work/q.out" "$work/s.out" "$name" "$qt" "$qm" "$st" "$sm" <<'EOF'
import sys
q = [float(l.split()[1]) for l in open(sys.argv[1]) if l.split() and l.split()[0].isdigit()]
s = [float(x) for x in open(sys.argv[2]).read().split()[1:]]
name, qt, qm, st, sm = sys.argv[3], *map(float, sys.argv[4:])
d = max(abs(a - b) / abs(b) for a, b in zip(q, s))
print(f"{name:<24} {len(q):>3} modes  qormtx {qt:7.2f} s {qm/1024:8.1f} MiB   eigsh {st:7.2f} s {sm/1024:8.1f} MiB"
      f"   time ratio {qt/st:5.2f}  memory ratio {qm/sm:5.2f}  max rel. diff {d:.1e}")
EOF
}

if [ "$grid" -gt 0 ]; then
  order=$(awk '!/^%/ {print $1; exit}' "$work/k.mtx")
  compare "3-D model ($order)" "$work/k.mtx" "$work/m.mtx"
fi
hb=$here/../shared/data/hb
[ -d "$hb" ] || hb=/work/shared/data/hb
if [ $smoke = 0 ] && [ -f "$hb/bcsstk25.mtx" ] && [ -f "$hb/bcsstm25.mtx" ]; then
  compare "bcsstk25 (15439)" "$hb/bcsstk25.mtx" "$hb/bcsstm25.mtx"
fi
