# The deliverable program and its exported functions.
#
# Program: console/main.cpp holds main(). It is compiled into the program only, never into
# sarnex_console (the test programs bring their own main). Once it exists the build makes
#   native Linux: <build>/console/sarnex
#   Windows:      <build>/console/sarnex64.exe or sarnex32.exe (self-contained, static)
#
# Exports: every exported function is one "Name@N" entry of SARNEX_EXPORTS, N being its argument
# bytes in the 32-bit build (int 4, double 8, pointer 4). Declare it with SARNEX_EXPORT and
# SARNEX_CALL (platform/export_api.h). From the list the build generates the module-definition
# file: the 64-bit program exports "Name", the 32-bit one the decorated "_Name@N" (standard Windows
# calling convention). A test then checks each module's export table with the cross objdump.
set(SARNEX_EXPORTS
  OrvOptionPricer@160
  GARCH_VanillaPDESolver@136
  ImpliedVol@52
  VanillaHeston@84
  VanillaHestonGrid@92
  HESTON_VanillaCalibration@40
  GARCH_VanillaPDECalibration@84
  GARCH_VanillaPDECalibrationM@88
  HESTON_VanillaPDECalibration@80
  HESTON_VanillaPDECalibrationM@80
  SVPDECalibration@88
)

# sarnex_export_names(<out-var> <Name@N>...): the names as the export table must show them.
function(sarnex_export_names out)
  set(names)
  foreach(entry IN LISTS ARGN)
    if(NOT entry MATCHES "^([A-Za-z_][A-Za-z0-9_]*)@([0-9]+)$")
      message(FATAL_ERROR "export entry '${entry}' is not of the form Name@N")
    endif()
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      list(APPEND names "_${CMAKE_MATCH_1}@${CMAKE_MATCH_2}")
    else()
      list(APPEND names "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  set(${out} ${names} PARENT_SCOPE)
endfunction()

# sarnex_add_exports(<target> <Name@N>...): exports the functions from a Windows module through a
# generated module-definition file and checks the built module's export table in a test.
function(sarnex_add_exports target)
  if(NOT WIN32 OR NOT ARGN)
    return()
  endif()
  set(def "EXPORTS\n")
  set(undefined)
  foreach(entry IN LISTS ARGN)
    sarnex_export_names(name ${entry})
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      # mingw's own spelling of a stdcall symbol lacks the leading underscore of the table
      string(APPEND def "  ${name} = ${entry}\n")
    else()
      string(APPEND def "  ${name}\n")
    endif()
    # pull the defining object out of its static library
    list(APPEND undefined "-Wl,-u,${name}")
  endforeach()
  set(def_file ${CMAKE_CURRENT_BINARY_DIR}/${target}.def)
  file(CONFIGURE OUTPUT ${def_file} CONTENT "${def}")
  get_target_property(_type ${target} TYPE)
  if(_type STREQUAL "EXECUTABLE")
    # CMake hands a module-definition source to the linker only for libraries; a program gets
    # its export table from the file given on the link line.
    target_link_options(${target} PRIVATE ${def_file})
    set_property(TARGET ${target} APPEND PROPERTY LINK_DEPENDS ${def_file})
  else()
    target_sources(${target} PRIVATE ${def_file})
  endif()
  target_link_options(${target} PRIVATE ${undefined})
  if(BUILD_TESTING OR SARNEX_BUILD_TESTS)
    sarnex_export_names(expected ${ARGN})
    add_test(NAME ${target}_export_table
             COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DMODULE=$<TARGET_FILE:${target}>
                     "-DEXPECTED=${expected}" -P ${CMAKE_SOURCE_DIR}/cmake/CheckExports.cmake)
    set_tests_properties(${target}_export_table PROPERTIES
      PASS_REGULAR_EXPRESSION "export table ok" FAIL_REGULAR_EXPRESSION "mismatch" LABELS exports)
  endif()
endfunction()

# The program, once console/ has its main.
if(EXISTS ${CMAKE_SOURCE_DIR}/console/main.cpp)
  if(WIN32)
    if(CMAKE_SIZEOF_VOID_P EQUAL 4)
      set(program sarnex32)
    else()
      set(program sarnex64)
    endif()
  else()
    set(program sarnex)
  endif()
  add_executable(sarnex_program ${CMAKE_SOURCE_DIR}/console/main.cpp)
  set_target_properties(sarnex_program PROPERTIES
    OUTPUT_NAME ${program} RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/console)
  target_include_directories(sarnex_program PRIVATE ${CMAKE_SOURCE_DIR})
  sarnex_link_available(sarnex_program ${SARNEX_FOLDERS})
  target_link_libraries(sarnex_program PRIVATE sarnex::deps)
  sarnex_add_exports(sarnex_program ${SARNEX_EXPORTS})
  if(WIN32)
    # A release program without debug sections (the static runtime libraries bring theirs).
    target_link_options(sarnex_program PRIVATE $<$<CONFIG:Release>:-s>)
    if(SARNEX_BUILD_TESTS)
      set(_system_dlls kernel32.dll msvcrt.dll oleaut32.dll user32.dll advapi32.dll)
      add_test(NAME sarnex_program_release_module
               COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DMODULE=$<TARGET_FILE:sarnex_program>
                       "-DALLOWED=${_system_dlls}" -P ${CMAKE_SOURCE_DIR}/cmake/CheckModule.cmake)
      set_tests_properties(sarnex_program_release_module PROPERTIES
        PASS_REGULAR_EXPRESSION "module ok" FAIL_REGULAR_EXPRESSION "mismatch" LABELS exports)
    endif()
  endif()
  # The console tests run copies of the native program with piped answers (the Windows programs
  # are run under wine by scripts/wine-calibration.sh instead).
  if(NOT WIN32)
    foreach(_test test_console_chain_refusals test_console_end_to_end test_console_every_model)
      if(TARGET ${_test})
        target_compile_definitions(${_test} PRIVATE SARNEX_PROGRAM="$<TARGET_FILE:sarnex_program>")
        add_dependencies(${_test} sarnex_program)
      endif()
    endforeach()
  endif()
endif()

# sarnex.dll: a Windows module with the exported functions, built from the same libraries and the
# same module-definition file as the program, written beside it (<build>/console). It is what a
# test loads under wine to call the exports the way another program would (a program cannot be
# loaded as a module), and until the program exists it is the only Windows module carrying them.
if(WIN32 AND TARGET sarnex_exports)
  add_library(sarnex_module SHARED ${CMAKE_SOURCE_DIR}/platform/windows/module_pin.cpp)
  set_target_properties(sarnex_module PROPERTIES
    OUTPUT_NAME sarnex PREFIX ""
    RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/console
    ARCHIVE_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/console)
  sarnex_link_available(sarnex_module ${SARNEX_FOLDERS})
  target_link_libraries(sarnex_module PRIVATE sarnex::deps)
  sarnex_add_exports(sarnex_module ${SARNEX_EXPORTS})
  if(TARGET test_exports_windows_module)
    # the test program finds the module from its own directory: <build>/tests -> <build>/console
    file(RELATIVE_PATH _rel ${CMAKE_BINARY_DIR}/tests ${CMAKE_BINARY_DIR}/console/sarnex.dll)
    target_compile_definitions(test_exports_windows_module PRIVATE SARNEX_WINDOWS_MODULE="${_rel}")
    add_dependencies(test_exports_windows_module sarnex_module)
  endif()
endif()
