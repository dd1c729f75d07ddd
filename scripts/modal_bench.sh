#!/usr/bin/env bash
# The lowest modes of large pairs: `qormtx modes` against scipy.sparse.linalg.eigsh(K, k, M=M, sigma=0) on the
# same files, one thread each, in one run: wall time, the solve alone (reading the files is not the solver), peak
# memory (maximum resident set) and the largest relative difference of the eigenvalues. Pairs: a generated 3-D
# model (a block of nodes with scalar unknowns, 7-point stiffness with unequal springs along the axes, fixed all
# around, uneven lumped mass), the cantilever of qormtx_example (written by its --write-pair) and
# bcsstk25/bcsstm25 when the data folder has them.
#
#   scripts/modal_bench.sh [--build DIR] [--grid N] [--cantilever "N1 N2 ..."] [--count K] [--limit MIN]
#                          [--memory GIB] [--smoke]
#
# --grid N: N x N x 2N nodes (default 30, about 5e4 unknowns; 0: no generated model); --cantilever: its sizes in
# unknowns, each optionally with its slenderness as N:R (qormtx_example --slender R; default "3e5 1e6 1e6:40";
# "": none); --limit: minutes each program may run (default 40); --memory: the address
# space each may take (default 20 GiB, so that a run fails rather than the machine's other work; 0: none, as for
# a sanitizer build, which reserves more); a run over either is reported as such; --smoke: tiny models only, for ctest (status 1 when a run fails or the
# eigenvalues differ by 1e-8 relative or more).
# Needs Debian's python3-scipy (not a build dependency): without it the script says so and exits 0.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build
grid=30
cantilever="3e5 1e6 1e6:40"
count=20
limit=40
memory=20
smoke=0
usage="usage: $0 [--build DIR] [--grid N] [--cantilever \"N1 N2 ...\"] [--count K] [--limit MIN] [--memory GIB] [--smoke]"
while [ $# -gt 0 ]; do
  case $1 in
    --build) build=$2; shift 2 ;;
    --grid) grid=$2; shift 2 ;;
    --cantilever) cantilever=$2; shift 2 ;;
    --count) count=$2; shift 2 ;;
    --limit) limit=$2; shift 2 ;;
    --memory) memory=$2; shift 2 ;;
    --smoke) smoke=1; grid=6; cantilever=300; count=5; memory=0; shift ;;
    *) echo "$usage" >&2; exit 2 ;;
  esac
done
py=/usr/bin/python3
if ! $py -c 'import scipy.sparse.linalg' 2>/dev/null; then
  echo "modal_bench: python3-scipy is not installed (apt-get install python3-scipy); nothing measured"
  exit 0
fi
tool=$build/tools/qormtx
example=$build/examples/qormtx_example
[ -x "$tool" ] || { echo "modal_bench: $tool not built" >&2; exit 1; }
[ -z "$cantilever" ] || [ -x "$example" ] || { echo "modal_bench: $example not built" >&2; exit 1; }
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

# eigsh on one pair: prints "solve_seconds eigenvalues..." on the last line.
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

# Runs a command under /usr/bin/time and the time limit; prints "wall_seconds peak_kib", or "failed <why>".
measure() {
  local log=$1; shift
  local status=0 took
  ([ "$memory" = 0 ] || ulimit -v $((memory * 1024 * 1024)); /usr/bin/time -f "%e %M" -o "$log.time" timeout "${limit}m" "$@") \
    > "$log" 2> "$log.err" || status=$?
  took=$(awk 'END {print $1}' "$log.time" 2>/dev/null || echo "?")
  case $status in
    0) tail -n 1 "$log.time" ;;
    124) echo "failed over the time limit of $limit min" ;;
    137) echo "failed: killed after $took s" ;;
    *) echo "failed (status $status, limit $memory GiB) after $took s:" \
         "$(grep -m 3 -v '^ *$' "$log.err" | cut -c 1-200 | tr '\n' ' ')" ;;
  esac
}

bad=0
compare() {
  local name=$1 k=$2 m=$3
  local q s
  q=$(measure "$work/q.out" "$tool" modes "$k" "$m" --count "$count" --quiet)
  s=$(measure "$work/s.out" "$py" "$work/eigsh.py" "$k" "$m" "$count")
  $py - "$work/q.out" "$work/s.out" "$name" "$q" "$s" "$smoke" <<'EOF' || bad=1
import re, sys
qfile, sfile, name, qrun, srun, smoke = sys.argv[1:]
def side(run, label):
    if run.startswith("failed"):
        return None, f"{label} {run}"
    wall, kib = map(float, run.split())
    return (wall, kib / 1024), None
q, qerr = side(qrun, "qormtx")
s, serr = side(srun, "eigsh")
line = f"{name:<26}"
if q:
    text = open(qfile).read()
    qv = [float(l.split()[1]) for l in text.splitlines() if l.split() and l.split()[0].isdigit()]
    qsolve = float(re.search(r"solved in ([0-9.]+) s", text).group(1))
    line += f" qormtx {q[0]:7.1f} s (solve {qsolve:7.1f} s) {q[1]:8.0f} MiB"
if s:
    last = open(sfile).read().split("\n")[-2].split()
    ssolve, sv = float(last[0]), [float(x) for x in last[1:]]
    line += f"   eigsh {s[0]:7.1f} s (solve {ssolve:7.1f} s) {s[1]:8.0f} MiB"
if q and s:
    d = max(abs(a - b) / abs(b) for a, b in zip(qv, sv)) if len(qv) == len(sv) and qv else float("inf")
    line += (f"   time ratio {q[0]/s[0]:5.2f}  solve ratio {qsolve/ssolve:5.2f}  memory ratio {q[1]/s[1]:5.2f}"
             f"  max rel. diff {d:.1e}")
for err in (qerr, serr):
    if err:
        line += "   " + err
print(line, flush=True)
if smoke == "1" and not (q and s and d < 1e-8):
    sys.exit(1)
EOF
}

if [ "$grid" -gt 0 ]; then
  order=$(awk '!/^%/ {print $1; exit}' "$work/k.mtx")
  compare "3-D model ($order)" "$work/k.mtx" "$work/m.mtx"
  rm -f "$work/k.mtx" "$work/m.mtx"
fi
for model in $cantilever; do
  size=${model%%:*}
  slender=4
  [ "$size" = "$model" ] || slender=${model#*:}
  mkdir -p "$work/cantilever"
  "$example" --unknowns "$size" --slender "$slender" --write-pair "$work/cantilever" > /dev/null 2> "$work/write.err" ||
    { cat "$work/write.err" >&2; exit 1; }
  order=$(awk '!/^%/ {print $1; exit}' "$work/cantilever/k.mtx")
  compare "cantilever $slender:1 ($order)" "$work/cantilever/k.mtx" "$work/cantilever/m.mtx"
  rm -rf "$work/cantilever"
done
hb=$here/../shared/data/hb
[ -d "$hb" ] || hb=/work/shared/data/hb
if [ $smoke = 0 ] && [ -f "$hb/bcsstk25.mtx" ] && [ -f "$hb/bcsstm25.mtx" ]; then
  compare "bcsstk25 (15439)" "$hb/bcsstk25.mtx" "$hb/bcsstm25.mtx"
fi
exit $bad
