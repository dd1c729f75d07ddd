#!/usr/bin/env bash
# consumer_test.sh BUILD_DIR SCRATCH_DIR CONSUMER_SOURCE CMAKE
set -euo pipefail
build=$1 scratch=$2 src=$3 cmake=$4
rm -rf "$scratch"
"$cmake" --install "$build" --prefix "$scratch/prefix" > "$scratch.install.log" 2>&1 || { cat "$scratch.install.log"; exit 1; }
# Move the prefix after installing: both routes must be relocatable.
mv "$scratch/prefix" "$scratch/moved"
prefix="$scratch/moved"

"$cmake" -S "$src" -B "$scratch/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_BUILD_TYPE=Release > "$scratch/configure.log" 2>&1 \
  || { cat "$scratch/configure.log"; exit 1; }
"$cmake" --build "$scratch/cmake-build" > "$scratch/build.log" 2>&1 || { cat "$scratch/build.log"; exit 1; }
"$scratch/cmake-build/qormtx_consumer"

pcdir=$(dirname "$(find "$prefix" -name QORMtxCore.pc | head -1)")
libdir=$(dirname "$pcdir")
flags=$(PKG_CONFIG_PATH="$pcdir" pkg-config --cflags --libs QORMtxCore)
g++ -std=c++17 "$src/consumer.cpp" $flags -o "$scratch/pc_consumer"
LD_LIBRARY_PATH="$libdir" "$scratch/pc_consumer"
echo "packaging: both routes passed"
