! Writes the Fortran fixtures of the matrix-file tests into the directory given as the first argument:
! records.dat, records of 0, 4, 20 and 80 bytes; ams.dat, a 3 x 3 symmetric substructure matrix file.
! Built with a 16-byte subrecord limit, so that every longer record is split into subrecords.
program fixtures_writer
  implicit none
  character(len=1024) :: dir
  integer :: i
  call get_command_argument(1, dir)

  open (10, file=trim(dir)//'/records.dat', form='unformatted', access='sequential', status='replace')
  write (10)
  write (10) 7
  write (10) (/ (i, i = 1, 5) /)
  write (10) (/ (i**2, i = 1, 20) /)
  close (10)

  ! Rows: diagonal first, then the entries left of it, as (count, columns, values).
  open (81, file=trim(dir)//'/ams.dat', form='unformatted', access='sequential', status='replace')
  write (81) 3
  write (81) 1, (/ 1 /), (/ 1.0d0 /)
  write (81) 2, (/ 2, 1 /), (/ 2.0d0, 5.0d0 /)
  write (81) 2, (/ 3, 2 /), (/ 3.0d0, -0.5d0 /)
  close (81)
end program fixtures_writer
