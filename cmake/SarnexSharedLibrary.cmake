# The module that other programs load for the exported functions on Linux (and other ELF
# systems): libsarnex.so, built from the subsystem libraries. A program cannot be loaded as a module
# there, so this library is "the module" whose directory holds the input and log files; it is
# written beside the program (<build>/console) so that both name the same directory. On Windows the
# program itself exports the functions (cmake/SarnexDeliverables.cmake).
#
# Only the exported C functions are visible: a version script makes every other symbol local, so
# the library's copies of the C++ code never meet a host program's own.
if(WIN32 OR NOT TARGET sarnex_exports)
  return()
endif()

# Every exported function of the system. A name that no library defines yet is skipped by the
# linker, so the list can run ahead of the subsystems.
set(SARNEX_SHARED_EXPORTS
  OrvOptionPricer
  GARCH_VanillaPDESolver
  ImpliedVol
  GARCH_VanillaPDECalibration
  GARCH_VanillaPDECalibrationM
  HESTON_VanillaPDECalibration
  HESTON_VanillaPDECalibrationM
  SVPDECalibration
  VanillaHeston
  VanillaHestonGrid
  HESTON_VanillaCalibration
  # releases the strings returned by the functions above
  SysFreeString
)

set(_script "{\n  global:\n")
set(_pull)
foreach(_name IN LISTS SARNEX_SHARED_EXPORTS)
  string(APPEND _script "    ${_name};\n")
  # the defining object is pulled out of its static library by name
  list(APPEND _pull "LINKER:-u,${_name}")
endforeach()
string(APPEND _script "  local:\n    *;\n};\n")
set(_version_script ${CMAKE_BINARY_DIR}/sarnex_exports.map)
file(CONFIGURE OUTPUT ${_version_script} CONTENT "${_script}")

# A shared library needs a source of its own; the code comes from the static libraries.
set(_stub ${CMAKE_BINARY_DIR}/sarnex_shared_library.cpp)
file(CONFIGURE OUTPUT ${_stub}
     CONTENT "// The exported functions come from the subsystem libraries linked into this module.\n")
add_library(sarnex_shared SHARED ${_stub})
set_target_properties(sarnex_shared PROPERTIES
  OUTPUT_NAME sarnex
  LIBRARY_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/console
  CXX_VISIBILITY_PRESET hidden
  VISIBILITY_INLINES_HIDDEN ON
  LINK_DEPENDS ${_version_script})
# The library is never unloaded (dlclose leaves it mapped): the worker threads of its OpenMP
# runtime outlive every call, and a host that does not use that runtime itself would have it
# unmapped under them and crash.
target_link_options(sarnex_shared PRIVATE ${_pull} "LINKER:--version-script=${_version_script}"
                    "LINKER:-z,nodelete")
sarnex_link_available(sarnex_shared exports calibration levmar schemes model density heston
                      numerics platform)
target_link_libraries(sarnex_shared PRIVATE sarnex::deps ${CMAKE_DL_LIBS})

# Test programs that load the library find it through SARNEX_SHARED_LIBRARY.
if(TARGET test_exports_shared_library)
  target_compile_definitions(test_exports_shared_library PRIVATE
    SARNEX_SHARED_LIBRARY="$<TARGET_FILE:sarnex_shared>")
  add_dependencies(test_exports_shared_library sarnex_shared)
endif()

# The same library as a C program meets it: C declarations, C calling code, dlopen by path.
if(SARNEX_BUILD_TESTS AND TARGET GTest::gtest)
  add_executable(test_exports_c_caller ${CMAKE_SOURCE_DIR}/tests/exports/support/c_caller.c)
  target_link_libraries(test_exports_c_caller PRIVATE ${CMAKE_DL_LIBS} m)
  add_dependencies(test_exports_c_caller sarnex_shared heston_stand_in)
  add_test(NAME ExportsFromC.LoadedAndCalledByAProgramWrittenInC
           COMMAND test_exports_c_caller $<TARGET_FILE:sarnex_shared>
                   $<TARGET_FILE:heston_stand_in>)
  set_tests_properties(ExportsFromC.LoadedAndCalledByAProgramWrittenInC PROPERTIES
    TIMEOUT 120 LABELS exports
    PASS_REGULAR_EXPRESSION "all exports answered")
endif()

# The same library from Python through ctypes, when the machine has python3 (skipped otherwise).
# Not in the sanitizer build: an uninstrumented interpreter cannot load an instrumented library.
if(SARNEX_BUILD_TESTS AND TARGET heston_stand_in AND NOT SARNEX_SANITIZE)
  find_package(Python3 COMPONENTS Interpreter QUIET)
  if(Python3_Interpreter_FOUND)
    add_test(NAME ExportsFromPython.CalledThroughCtypes
             COMMAND ${Python3_EXECUTABLE} ${CMAKE_SOURCE_DIR}/tests/exports/support/ctypes_caller.py
                     $<TARGET_FILE:sarnex_shared> $<TARGET_FILE:heston_stand_in>)
    set_tests_properties(ExportsFromPython.CalledThroughCtypes PROPERTIES
      TIMEOUT 120 LABELS exports
      PASS_REGULAR_EXPRESSION "all exports answered")
  else()
    message(STATUS "python3 not found: the ctypes check of the exported functions is skipped")
  endif()
endif()
