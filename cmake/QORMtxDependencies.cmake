# System dependencies: OpenBLAS (BLAS + LAPACK), LAPACKE and the HDF5 C library, all through pkg-config
# so that C++-only clients need no C compiler. Used by the build and by the installed package config.
find_package(PkgConfig REQUIRED)
pkg_check_modules(QORMTX_OPENBLAS REQUIRED IMPORTED_TARGET openblas)
pkg_check_modules(QORMTX_LAPACKE REQUIRED IMPORTED_TARGET lapacke)
pkg_check_modules(QORMTX_HDF5 REQUIRED IMPORTED_TARGET hdf5)
