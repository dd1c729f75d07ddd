# System dependencies: OpenBLAS (BLAS + LAPACK), LAPACKE and the HDF5 C library.
# Used both by the build and, through the installed package config, by clients.
find_package(PkgConfig REQUIRED)
pkg_check_modules(QORMTX_OPENBLAS REQUIRED IMPORTED_TARGET GLOBAL openblas)
pkg_check_modules(QORMTX_LAPACKE REQUIRED IMPORTED_TARGET GLOBAL lapacke)
find_package(HDF5 REQUIRED COMPONENTS C)
