# Runs one test program with an empty directory as its temporary directory and fails when anything is left in it.
# Usage: cmake -DPROGRAM=<test program> -DFILTER=<gtest filter> -DDIR=<scratch directory> -P tmpdir_check.cmake
file(REMOVE_RECURSE "${DIR}")
file(MAKE_DIRECTORY "${DIR}")
execute_process(COMMAND "${CMAKE_COMMAND}" -E env "TEST_TMPDIR=${DIR}/" "TMPDIR=${DIR}" --unset=QORMTX_TEST_TMPDIR_OWNER
                        "${PROGRAM}" "--gtest_filter=${FILTER}"
                RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${PROGRAM} failed (${rc}):\n${out}")
endif()
file(GLOB left LIST_DIRECTORIES true "${DIR}/*" "${DIR}/.*")
file(REMOVE_RECURSE "${DIR}")
if(left)
  message(FATAL_ERROR "left in the temporary directory: ${left}")
endif()
