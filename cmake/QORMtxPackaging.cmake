# Installation: library, headers, a relocatable CMake package and a pkg-config file.
include(CMakePackageConfigHelpers)

install(TARGETS QORMtxCoreModule EXPORT QORMtxCoreTargets
  LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR}
  ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR}
  RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})

# Clients include the headers by bare name from include/QORMtx; the base containers that the
# public interface uses (cow_String and friends) and the data-store interface in which clients create
# databases and distributions install beside them. The store's HDF5 side stays private.
file(GLOB QORMTX_INSTALL_HEADERS CONFIGURE_DEPENDS
  ${PROJECT_SOURCE_DIR}/QORMtx/PublicInterfaces/*.h
  ${PROJECT_SOURCE_DIR}/QORMtx/ProtectedInterfaces/*.h
  ${PROJECT_SOURCE_DIR}/QORMtx/Platform/base/*.h
  ${PROJECT_SOURCE_DIR}/QORMtx/Platform/store/QORSim*.h)
list(FILTER QORMTX_INSTALL_HEADERS EXCLUDE REGEX "/QORSim(Selection|Store)\\.h$")
install(FILES ${QORMTX_INSTALL_HEADERS} DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/QORMtx)

set(QORMTX_CMAKE_DIR ${CMAKE_INSTALL_LIBDIR}/cmake/QORMtxCore)
install(EXPORT QORMtxCoreTargets NAMESPACE QORMtxCore:: DESTINATION ${QORMTX_CMAKE_DIR})
configure_package_config_file(${PROJECT_SOURCE_DIR}/cmake/QORMtxCoreConfig.cmake.in
  ${PROJECT_BINARY_DIR}/QORMtxCoreConfig.cmake INSTALL_DESTINATION ${QORMTX_CMAKE_DIR})
write_basic_package_version_file(${PROJECT_BINARY_DIR}/QORMtxCoreConfigVersion.cmake
  COMPATIBILITY SameMajorVersion)
install(FILES ${PROJECT_BINARY_DIR}/QORMtxCoreConfig.cmake ${PROJECT_BINARY_DIR}/QORMtxCoreConfigVersion.cmake
  ${PROJECT_SOURCE_DIR}/cmake/QORMtxDependencies.cmake
  DESTINATION ${QORMTX_CMAKE_DIR})

# pkg-config: the prefix is found from the .pc file's own place, so the install tree can move.
file(RELATIVE_PATH QORMTX_PC_TO_PREFIX ${CMAKE_INSTALL_FULL_LIBDIR}/pkgconfig ${CMAKE_INSTALL_PREFIX})
string(REGEX REPLACE "/$" "" QORMTX_PC_TO_PREFIX "${QORMTX_PC_TO_PREFIX}")
configure_file(${PROJECT_SOURCE_DIR}/cmake/QORMtxCore.pc.in ${PROJECT_BINARY_DIR}/QORMtxCore.pc @ONLY)
install(FILES ${PROJECT_BINARY_DIR}/QORMtxCore.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
