# FindUMFPACK.cmake — SuiteSparse 5.x UMFPACK (+ CHOLMOD, AMD, CAMD, COLAMD, CCOLAMD, METIS, config, BLAS, LAPACK)
# Debian 12's libsuitesparse-dev (5.12) ships neither CMake package files nor .pc files, so search by hand.
# Works for: native amd64, -m32 with CMAKE_LIBRARY_ARCHITECTURE=i386-linux-gnu, and mingw static deps
# (found through CMAKE_FIND_ROOT_PATH).  Result: imported target UMFPACK::UMFPACK.
find_path(UMFPACK_INCLUDE_DIR umfpack.h PATH_SUFFIXES suitesparse)
find_path(METIS_INCLUDE_DIR metis.h)
set(_umf_libs)
set(_umf_vars UMFPACK_INCLUDE_DIR METIS_INCLUDE_DIR)
foreach(_l umfpack cholmod ccolamd camd colamd amd suitesparseconfig)
  find_library(UMFPACK_${_l}_LIBRARY NAMES ${_l})
  list(APPEND _umf_libs ${UMFPACK_${_l}_LIBRARY})
  list(APPEND _umf_vars UMFPACK_${_l}_LIBRARY)
endforeach()
# libmetis-dev is not Multi-Arch: an i386 build next to amd64 has only libmetis.so.5 (libmetis5:i386)
find_library(UMFPACK_metis_LIBRARY NAMES metis libmetis.so.5)
list(APPEND _umf_libs ${UMFPACK_metis_LIBRARY})
list(APPEND _umf_vars UMFPACK_metis_LIBRARY)
include(FindPackageHandleStandardArgs)
find_package_handle_standard_args(UMFPACK REQUIRED_VARS ${_umf_vars})
if(UMFPACK_FOUND AND NOT TARGET UMFPACK::UMFPACK)
  add_library(UMFPACK::UMFPACK INTERFACE IMPORTED)
  if(MINGW)
    # static reference BLAS/LAPACK compiled with gfortran: FindBLAS's link test fails without
    # libgfortran, so take the archives directly and add the Fortran runtime
    find_library(UMFPACK_lapack_LIBRARY NAMES lapack REQUIRED)
    find_library(UMFPACK_blas_LIBRARY NAMES blas REQUIRED)
    set(_umf_link ${_umf_libs} ${UMFPACK_lapack_LIBRARY} ${UMFPACK_blas_LIBRARY} gfortran quadmath)
  else()
    find_package(LAPACK REQUIRED)   # brings BLAS::BLAS too (Debian: OpenBLAS via libblas.so/liblapack.so)
    set(_umf_link ${_umf_libs} LAPACK::LAPACK BLAS::BLAS)
  endif()
  set_target_properties(UMFPACK::UMFPACK PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${UMFPACK_INCLUDE_DIR};${METIS_INCLUDE_DIR}"
    INTERFACE_LINK_LIBRARIES "${_umf_link}")
endif()
