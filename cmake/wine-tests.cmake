# The Windows tier's tests beyond the GoogleTest programs, for the 64-bit
# cross build, under Wine (CMAKE_CROSSCOMPILING_EMULATOR, set by the
# toolchain when wine64 is found). Without wine64 one test stands for the
# tier and reports it skipped.
set(tiers ${PROJECT_SOURCE_DIR}/cmake/tiers)
if(NOT CMAKE_CROSSCOMPILING_EMULATOR)
  add_test(NAME wine.tools COMMAND sh ${tiers}/skipped.sh "wine64 is missing: the Windows programs cannot run")
  set_tests_properties(wine.tools PROPERTIES LABELS wine SKIP_RETURN_CODE 77)
  return()
endif()

# The prefix is set up once, before the first program runs (the first use
# of a prefix sets it up), its server kept running throughout and stopped
# after the last test.
# Output goes to files, never a pipe: Wine's services outlive the programs.
get_filename_component(wine_directory ${KOVA_WINE64} DIRECTORY)
find_program(KOVA_WINESERVER NAMES wineserver wineserver64 PATHS ${wine_directory} NO_DEFAULT_PATH)
if(NOT KOVA_WINESERVER)
  find_program(KOVA_WINESERVER NAMES wineserver)
endif()
set(wine_environment env WINEDEBUG=-all WINEDLLOVERRIDES=mscoree,mshtml= WINEPREFIX=${CMAKE_BINARY_DIR}/wineprefix)
add_test(NAME wine.prefix
  COMMAND ${wine_environment} sh -c "\"$0\" wineboot --init </dev/null >/dev/null 2>&1; exit 0" ${KOVA_WINE64})
set_tests_properties(wine.prefix PROPERTIES LABELS wine FIXTURES_SETUP wine_prefix TIMEOUT 300)
if(KOVA_WINESERVER)
  # One server for the whole run: a program that starts as an idle server
  # shuts down loses its connection.
  add_test(NAME wine.server.start
    COMMAND ${wine_environment} sh -c "\"$0\" -p </dev/null >/dev/null 2>&1" ${KOVA_WINESERVER})
  set_tests_properties(wine.server.start PROPERTIES LABELS wine FIXTURES_SETUP wine_prefix)
  set_tests_properties(wine.prefix PROPERTIES DEPENDS wine.server.start)
  add_test(NAME wine.server.stop
    COMMAND ${wine_environment} sh -c "\"$0\" -k </dev/null >/dev/null 2>&1; exit 0" ${KOVA_WINESERVER})
  set_tests_properties(wine.server.stop PROPERTIES LABELS wine FIXTURES_CLEANUP wine_prefix)
endif()

# Paths as Windows programs take them: Wine's drive Z: is the root.
function(kova_windows_path out path)
  string(REPLACE "/" "\\" path "${path}")
  set(${out} "Z:${path}" PARENT_SCOPE)
endfunction()
file(RELATIVE_PATH here ${PROJECT_SOURCE_DIR} ${CMAKE_BINARY_DIR})
set(native ${KOVA_NATIVE_BUILD})
set(requires sh ${tiers}/requires.sh)

# The host patterns on the sample and on an archive of edge entries, against
# the native kova.so and, under Wine, kova.sph; every file held to kova cat.
set(pattern_archives examples/sample.DAT ${here}/patterns/edge.DAT)
add_test(NAME patterns.archive
  COMMAND ${requires} ${native}/kova -- bash ${tiers}/pattern-archive.sh ${native}/kova ${here}/patterns
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(patterns.archive PROPERTIES FIXTURES_SETUP pattern_archive)
add_test(NAME patterns.native
  COMMAND ${requires} ${native}/kova ${native}/kova_host_patterns ${native}/kova.so --
          bash ${tiers}/host-patterns.sh ${native}/kova ${here}/patterns/native ${pattern_archives}
          -- ${native}/kova_host_patterns ${native}/kova.so
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
kova_windows_path(plugin_path ${CMAKE_BINARY_DIR}/kova.sph)
add_test(NAME wine.patterns
  COMMAND ${requires} ${native}/kova --
          bash ${tiers}/host-patterns.sh ${native}/kova ${here}/patterns/wine64 ${pattern_archives}
          -- ${CMAKE_CROSSCOMPILING_EMULATOR} ${here}/kova_host_patterns.exe ${plugin_path}
  WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
set_tests_properties(patterns.archive patterns.native wine.patterns PROPERTIES
  LABELS "wine;patterns" SKIP_RETURN_CODE 77)
set_tests_properties(patterns.native wine.patterns PROPERTIES FIXTURES_REQUIRED "pattern_archive;wine_prefix")

# kova.exe against the native kova on the sample, on a Japanese path too.
foreach(check list list-json list-hash extract unicode-list unicode-extract unicode-pack)
  add_test(NAME wine.kova_exe.${check}
    COMMAND ${requires} ${native}/kova --
            bash ${tiers}/kova-exe-compare.sh ${check} ${native}/kova ${here}/compare
            -- ${CMAKE_CROSSCOMPILING_EMULATOR} ${here}/kova.exe
    WORKING_DIRECTORY ${PROJECT_SOURCE_DIR})
  set_tests_properties(wine.kova_exe.${check} PROPERTIES
    LABELS "wine;kova_exe" SKIP_RETURN_CODE 77 FIXTURES_REQUIRED wine_prefix)
endforeach()
