# Every third-party dependency is found here, once, and gathered behind sarnex::deps.
find_package(Eigen3 3.3 REQUIRED NO_MODULE PATHS /usr/share/eigen3/cmake NO_CMAKE_FIND_ROOT_PATH)
if(CMAKE_CROSSCOMPILING AND WIN32)
  # /usr/include must not reach a mingw include path (glibc headers would shadow mingw's),
  # so expose only the header-only Boost through a folder of its own.
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/hostinc)
  file(CREATE_LINK /usr/include/boost ${CMAKE_BINARY_DIR}/hostinc/boost SYMBOLIC)
  add_library(Boost::headers INTERFACE IMPORTED)
  set_target_properties(Boost::headers PROPERTIES INTERFACE_INCLUDE_DIRECTORIES ${CMAKE_BINARY_DIR}/hostinc)
else()
  find_package(Boost 1.71 REQUIRED)
endif()
find_package(OpenMP REQUIRED)
find_package(UMFPACK REQUIRED)

add_library(sarnex_deps INTERFACE)
add_library(sarnex::deps ALIAS sarnex_deps)
target_link_libraries(sarnex_deps INTERFACE Eigen3::Eigen Boost::headers OpenMP::OpenMP_CXX UMFPACK::UMFPACK ${CMAKE_DL_LIBS})
if(WIN32)
  target_link_libraries(sarnex_deps INTERFACE oleaut32)
endif()

if(SARNEX_BUILD_TESTS)
  find_package(GTest REQUIRED)
  include(GoogleTest)
endif()
if(SARNEX_BUILD_BENCH)
  find_package(benchmark QUIET)
endif()
