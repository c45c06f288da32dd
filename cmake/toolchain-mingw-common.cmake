# Shared part of the two Windows toolchain files. Expects SARNEX_MINGW_TRIPLE to be set.
# Debian's mingw-w64 with the posix thread model: std::thread/std::mutex and libgomp need it (the
# default alternative of the plain compiler names is the win32 model).
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_C_COMPILER   ${SARNEX_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SARNEX_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER  ${SARNEX_MINGW_TRIPLE}-windres)

# Where scripts/install-cross-deps.sh put the static SuiteSparse, METIS, BLAS/LAPACK and GoogleTest.
if(NOT DEFINED SARNEX_CROSS_DEPS)
  if(DEFINED ENV{SARNEX_CROSS_DEPS})
    set(SARNEX_CROSS_DEPS "$ENV{SARNEX_CROSS_DEPS}")
  else()
    # the same default as scripts/cross-env.sh
    execute_process(COMMAND id -u OUTPUT_VARIABLE _sarnex_uid OUTPUT_STRIP_TRAILING_WHITESPACE)
    if(_sarnex_uid STREQUAL "0")
      set(SARNEX_CROSS_DEPS /var/cache/sarnex-cross)
    elseif(DEFINED ENV{XDG_CACHE_HOME})
      set(SARNEX_CROSS_DEPS "$ENV{XDG_CACHE_HOME}/sarnex-cross")
    else()
      set(SARNEX_CROSS_DEPS "$ENV{HOME}/.cache/sarnex-cross")
    endif()
  endif()
endif()
set(SARNEX_CROSS_DEPS "${SARNEX_CROSS_DEPS}" CACHE PATH "cache of the cross-built static libraries")
set(CMAKE_FIND_ROOT_PATH /usr/${SARNEX_MINGW_TRIPLE} ${SARNEX_CROSS_DEPS}/${SARNEX_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
set(CMAKE_OBJDUMP ${SARNEX_MINGW_TRIPLE}-objdump CACHE FILEPATH "")

# Tests run under wine through a launcher that bounds each run and strips carriage returns.
# WINEPREFIX/WINEDEBUG and the persistent wineserver come from scripts/test-windows.sh, which keeps
# ctest from waiting on wine's background services.
get_filename_component(CMAKE_CROSSCOMPILING_EMULATOR ${CMAKE_CURRENT_LIST_DIR}/../scripts/wine-run.sh ABSOLUTE)

# Self-contained programs: no libstdc++/libgcc/libwinpthread DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")
set(CMAKE_MODULE_LINKER_FLAGS_INIT "-static")
# FindOpenMP would choose libgomp.dll.a and make every program need libgomp-1.dll at run time.
execute_process(COMMAND ${CMAKE_CXX_COMPILER} -print-file-name=libgomp.a
                OUTPUT_VARIABLE _sarnex_static_gomp OUTPUT_STRIP_TRAILING_WHITESPACE)
set(OpenMP_gomp_LIBRARY "${_sarnex_static_gomp}" CACHE FILEPATH "static libgomp for mingw")
