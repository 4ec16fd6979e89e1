# What both mingw-w64 toolchain files share; KOVA_MINGW_TRIPLE names the target.

# Without the cross compiler the build is a native one that builds nothing
# and holds one test, which reports the Windows tier skipped (a failure with
# CI=true): a missing tool shows in CTest's summary, not as a configure error.
find_program(KOVA_MINGW_CXX ${KOVA_MINGW_TRIPLE}-g++-posix)
if(NOT KOVA_MINGW_CXX)
  set(KOVA_CROSS_TOOLS_MISSING "${KOVA_MINGW_TRIPLE}-g++-posix (package g++-mingw-w64-*)")
  return()
endif()

set(CMAKE_SYSTEM_NAME Windows)
if(KOVA_MINGW_TRIPLE MATCHES "^x86_64")
  set(CMAKE_SYSTEM_PROCESSOR AMD64)
else()
  set(CMAKE_SYSTEM_PROCESSOR X86)
endif()

# The -posix compilers: Debian's default (win32 thread model) ones have no
# std::mutex or std::thread, which the command-line host and tests may use.
set(CMAKE_C_COMPILER ${KOVA_MINGW_TRIPLE}-gcc-posix)
set(CMAKE_CXX_COMPILER ${KOVA_MINGW_TRIPLE}-g++-posix)
set(CMAKE_RC_COMPILER ${KOVA_MINGW_TRIPLE}-windres)

set(CMAKE_FIND_ROOT_PATH /usr/${KOVA_MINGW_TRIPLE})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Everything Windows-side is linked statically: the programs and plug-ins
# must run with nothing but the system's own DLLs beside them.
set(CMAKE_EXE_LINKER_FLAGS_INIT "-static")
set(CMAKE_SHARED_LINKER_FLAGS_INIT "-static")

# Test programs run under Wine (64-bit only; this machine cannot run 32-bit
# code). The prefix lives in the build tree, so nothing outside it is touched.
if(KOVA_MINGW_TRIPLE MATCHES "^x86_64")
  find_program(KOVA_WINE64 NAMES wine64 PATHS /usr/lib/wine NO_DEFAULT_PATH)
  if(NOT KOVA_WINE64)
    find_program(KOVA_WINE64 NAMES wine64)
  endif()
  if(KOVA_WINE64)
    set(CMAKE_CROSSCOMPILING_EMULATOR
        bash ${CMAKE_CURRENT_LIST_DIR}/tiers/wine-run.sh ${KOVA_WINE64} ${CMAKE_BINARY_DIR}/wineprefix)
  endif()
endif()

# Find the GoogleTest cases when the tests run rather than when they are
# linked, so that building never needs Wine.
set(CMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE PRE_TEST)
