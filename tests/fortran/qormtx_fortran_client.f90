! Fortran client of the matrix core's unmangled kernels: every argument by reference, as the C
! prototypes take them, real and complex data checked against plain Fortran loops.
module qormtx_c_interfaces
  use, intrinsic :: iso_c_binding, only: c_int, c_double, c_double_complex, c_ptr, c_char
  implicit none
  interface
    subroutine qormtx_initialize() bind(C, name="QORMtxCoreModule_initializeC")
    end subroutine
    subroutine qormtx_finalize() bind(C, name="QORMtxCoreModule_finalizeC")
    end subroutine
    subroutine qormtx_daxpy(n, a, x, y) bind(C, name="qormtx_daxpy")
      import :: c_int, c_double
      integer(c_int), intent(in) :: n
      real(c_double), intent(in) :: a, x(*)
      real(c_double), intent(inout) :: y(*)
    end subroutine
    subroutine qormtx_array_add(n, a, x, b, y, c, z) bind(C, name="qormtx_array_add")
      import :: c_int, c_double
      integer(c_int), intent(in) :: n
      real(c_double), intent(in) :: a, x(*), b, y(*), c
      real(c_double), intent(inout) :: z(*)
    end subroutine
    subroutine qormtx_array_add2(n, a, x, b, y) bind(C, name="qormtx_array_add2")
      import :: c_int, c_double
      integer(c_int), intent(in) :: n
      real(c_double), intent(in) :: a, x(*), b
      real(c_double), intent(inout) :: y(*)
    end subroutine
    subroutine qormtx_array_x_factor(n, x, f) bind(C, name="qormtx_array_x_factor")
      import :: c_int, c_double
      integer(c_int), intent(in) :: n
      real(c_double), intent(inout) :: x(*)
      real(c_double), intent(in) :: f
    end subroutine
    subroutine qormtx_darray_multiply(n, alpha, a, inca, b, incb, beta, c, incc) &
        bind(C, name="qormtx_darray_multiply")
      import :: c_int, c_double
      integer(c_int), intent(in) :: n, inca, incb, incc
      real(c_double), intent(in) :: alpha, a(*), b(*), beta
      real(c_double), intent(inout) :: c(*)
    end subroutine
    subroutine qormtx_array_setreim(n, re, im, z) bind(C, name="qormtx_array_setreim")
      import :: c_int, c_double, c_double_complex
      integer(c_int), intent(in) :: n
      real(c_double), intent(in) :: re(*), im(*)
      complex(c_double_complex), intent(out) :: z(*)
    end subroutine
    subroutine qormtx_complex_mul(a, b, r) bind(C, name="qormtx_complex_mul")
      import :: c_double_complex
      complex(c_double_complex), intent(in) :: a, b
      complex(c_double_complex), intent(out) :: r
    end subroutine
    subroutine qormtx_zdotc(n, x, incx, y, incy, result) bind(C, name="qormtx_zdotc")
      import :: c_int, c_double_complex
      integer(c_int), intent(in) :: n, incx, incy
      complex(c_double_complex), intent(in) :: x(*), y(*)
      complex(c_double_complex), intent(out) :: result
    end subroutine
    subroutine qormtxsortint2(a, companion, n) bind(C, name="QORMtxsortint2")
      import :: c_int
      integer(c_int), intent(inout) :: a(*), companion(*)
      integer(c_int), intent(in) :: n
    end subroutine
    ! Matrix container: the handle by value, every int by address.
    type(c_ptr) function qormtxmatrixcontainercreate() bind(C, name="qormtxmatrixcontainercreate")
      import :: c_ptr
    end function
    subroutine qormtxmatrixcontainerdelete(handle) bind(C, name="qormtxmatrixcontainerdelete")
      import :: c_ptr
      type(c_ptr), value :: handle
    end subroutine
    integer(c_int) function qormtxmatrixcontainernumrows(handle, key) bind(C, name="qormtxmatrixcontainernumrows")
      import :: c_ptr, c_int
      type(c_ptr), value :: handle
      integer(c_int), intent(in) :: key
    end function
    integer(c_int) function qormtxmatrixcontainernumcolumns(handle, key) &
        bind(C, name="qormtxmatrixcontainernumcolumns")
      import :: c_ptr, c_int
      type(c_ptr), value :: handle
      integer(c_int), intent(in) :: key
    end function
    subroutine qormtxmatrixcontainergetvalues(handle, key, values) bind(C, name="qormtxmatrixcontainergetvalues")
      import :: c_ptr, c_int, c_double
      type(c_ptr), value :: handle
      integer(c_int), intent(in) :: key
      real(c_double), intent(out) :: values(*)
    end subroutine
    ! The solver-side helpers of this test (qormtx_fortran_fill.cpp).
    subroutine container_fill(handle, key, nrow, ncol, rowblock, colblock) bind(C, name="qormtx_test_container_fill")
      import :: c_ptr, c_int
      type(c_ptr), value :: handle
      integer(c_int), intent(in) :: key, nrow, ncol, rowblock, colblock
    end subroutine
    subroutine container_remove(handle, key) bind(C, name="qormtx_test_container_remove")
      import :: c_ptr, c_int
      type(c_ptr), value :: handle
      integer(c_int), intent(in) :: key
    end subroutine
    integer(c_int) function container_ismember(handle, key) bind(C, name="qormtx_test_container_ismember")
      import :: c_ptr, c_int
      type(c_ptr), value :: handle
      integer(c_int), intent(in) :: key
    end function
    subroutine container_path(handle, path, len) bind(C, name="qormtx_test_container_path")
      import :: c_ptr, c_int, c_char
      type(c_ptr), value :: handle
      character(kind=c_char), intent(out) :: path(*)
      integer(c_int), intent(in) :: len
    end subroutine
  end interface
end module qormtx_c_interfaces

program qormtx_fortran_client
  use, intrinsic :: iso_c_binding, only: c_int, c_double, c_double_complex, c_ptr, c_associated
  use qormtx_c_interfaces
  implicit none
  integer(c_int), parameter :: n = 1000
  real(c_double), parameter :: tol = 1.0e-12_c_double
  real(c_double) :: x(n), y(n), z(n), want(n), x0(n), y0(n), z0(n), w(3 * n)
  complex(c_double_complex) :: cz(n), cdot, cwant, cr
  integer(c_int) :: keys(n), comp(n), keys0(n), i, npassed, nfailed
  logical :: ok

  npassed = 0
  nfailed = 0
  call qormtx_initialize()

  call random_number(x0)
  call random_number(y0)
  call random_number(z0)
  x0 = 4.0_c_double * x0 - 2.0_c_double
  y0 = 4.0_c_double * y0 - 2.0_c_double
  z0 = 4.0_c_double * z0 - 2.0_c_double

  y = y0
  call qormtx_daxpy(n, 2.5_c_double, x0, y)
  want = 2.5_c_double * x0 + y0
  call check("qormtx_daxpy", maxval(abs(y - want)) < tol)

  z = z0
  call qormtx_array_add(n, 1.5_c_double, x0, -0.5_c_double, y0, 2.0_c_double, z)
  want = 1.5_c_double * x0 - 0.5_c_double * y0 + 2.0_c_double * z0
  call check("qormtx_array_add", maxval(abs(z - want)) < tol)

  y = y0
  call qormtx_array_add2(n, 3.0_c_double, x0, 0.0_c_double, y)
  call check("qormtx_array_add2 with b = 0", all(y == 3.0_c_double * x0))

  x = x0
  call qormtx_array_x_factor(n, x, -0.25_c_double)
  call check("qormtx_array_x_factor", all(x == -0.25_c_double * x0))

  ! Every third element of w, against x and y read contiguously.
  w = 1.0_c_double
  call qormtx_darray_multiply(n, 2.0_c_double, x0, 1, y0, 1, 0.5_c_double, w, 3)
  ok = .true.
  do i = 1, n
    ok = ok .and. abs(w(3 * i - 2) - (2.0_c_double * x0(i) * y0(i) + 0.5_c_double)) < tol
    ok = ok .and. w(3 * i - 1) == 1.0_c_double .and. w(3 * i) == 1.0_c_double
  end do
  call check("qormtx_darray_multiply with stride 3", ok)

  ! Interleaved complex arrays are Fortran complex arrays.
  call qormtx_array_setreim(n, x0, y0, cz)
  call check("qormtx_array_setreim", all(real(cz) == x0) .and. all(aimag(cz) == y0))

  call qormtx_complex_mul((1.0_c_double, 2.0_c_double), (3.0_c_double, -4.0_c_double), cr)
  call check("qormtx_complex_mul", cr == (11.0_c_double, 2.0_c_double))

  call qormtx_zdotc(n, cz, 1, cz(n:1:-1), 1, cdot)
  cwant = (0.0_c_double, 0.0_c_double)
  do i = 1, n
    cwant = cwant + conjg(cz(i)) * cz(n + 1 - i)
  end do
  call check("qormtx_zdotc", abs(cdot - cwant) < 1.0e-9_c_double)

  do i = 1, n
    keys0(i) = mod(i * 7919, 257) - 128
    comp(i) = 10 * keys0(i) + 3
  end do
  keys = keys0
  call qormtxsortint2(keys, comp, n)
  ok = all(keys(1:n - 1) <= keys(2:n)) .and. all(comp == 10 * keys + 3) .and. sum(keys) == sum(keys0)
  call check("QORMtxsortint2", ok)

  call check_container()

  call qormtx_finalize()
  print '(i0, " passed, ", i0, " failed")', npassed, nfailed
  if (nfailed /= 0) error stop 1

contains

  ! Two matrices of different blockings go in by key; shapes and values come back through the unmangled
  ! functions; removing a key and deleting the container leave nothing behind, its file included.
  subroutine check_container()
    integer(c_int), parameter :: keys2(2) = [3_c_int, 7_c_int], rows2(2) = [5_c_int, 1_c_int], &
        cols2(2) = [4_c_int, 6_c_int], rowblocks(2) = [2_c_int, 1_c_int], colblocks(2) = [3_c_int, 4_c_int]
    type(c_ptr) :: container
    real(c_double) :: got(30)
    character(len=1024) :: path
    integer(c_int) :: k, r, c, i, j
    logical :: exists, same

    container = qormtxmatrixcontainercreate()
    call check("qormtxmatrixcontainercreate", c_associated(container))
    do k = 1, 2
      call container_fill(container, keys2(k), rows2(k), cols2(k), rowblocks(k), colblocks(k))
    end do
    do k = 1, 2
      r = rows2(k)
      c = cols2(k)
      call check("qormtxmatrixcontainernumrows", qormtxmatrixcontainernumrows(container, keys2(k)) == r)
      call check("qormtxmatrixcontainernumcolumns", qormtxmatrixcontainernumcolumns(container, keys2(k)) == c)
      got = -1.0_c_double
      call qormtxmatrixcontainergetvalues(container, keys2(k), got)
      same = .true.
      do j = 1, c
        do i = 1, r
          ! Column-major with the row count as leading dimension: element (i, j) at i + r (j - 1).
          same = same .and. got(i + r * (j - 1)) == &
              1000.0_c_double * keys2(k) + 10.0_c_double * (i - 1) + (j - 1)
        end do
      end do
      call check("qormtxmatrixcontainergetvalues", same .and. all(got(r * c + 1:) == -1.0_c_double))
    end do
    call container_remove(container, keys2(1))
    call check("container key removed", container_ismember(container, keys2(1)) == 0 .and. &
        container_ismember(container, keys2(2)) == 1)
    call container_path(container, path, len(path, kind=c_int))
    inquire(file=trim(path), exist=exists)
    call check("container file exists", exists)
    call qormtxmatrixcontainerdelete(container)
    inquire(file=trim(path), exist=exists)
    call check("container file removed with the container", .not. exists)
  end subroutine check_container

  subroutine check(name, cond)
    character(len=*), intent(in) :: name
    logical, intent(in) :: cond
    if (cond) then
      npassed = npassed + 1
    else
      nfailed = nfailed + 1
      print '("FAILED: ", a)', name
    end if
  end subroutine check

end program qormtx_fortran_client
