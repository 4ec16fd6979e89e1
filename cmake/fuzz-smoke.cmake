# The fuzz preset's tests: a short run of every fuzz target from the seeds
# alone (scripts/fuzz --fresh), each a CTest test labelled fuzz, after one
# that writes the seeds they share. KOVA_FUZZ_SECONDS in the environment sets
# the time per target (default 15).
file(GLOB kova_fuzz_smoke_sources ${PROJECT_SOURCE_DIR}/fuzz/*_fuzzer.cpp)
add_test(NAME fuzz.seeds
  COMMAND sh -c "rm -rf seeds && ./make_seeds seeds"
  WORKING_DIRECTORY ${CMAKE_BINARY_DIR})
set_tests_properties(fuzz.seeds PROPERTIES LABELS fuzz FIXTURES_SETUP fuzz_seeds)
foreach(source IN LISTS kova_fuzz_smoke_sources)
  get_filename_component(target ${source} NAME_WE)
  add_test(NAME fuzz.${target}
    COMMAND sh -c "exec \"$0\" --prepared --fresh --only ${target} \"\${KOVA_FUZZ_SECONDS:-15}\""
            ${PROJECT_SOURCE_DIR}/scripts/fuzz)
  set_tests_properties(fuzz.${target} PROPERTIES LABELS fuzz FIXTURES_REQUIRED fuzz_seeds
    ENVIRONMENT "KOVA_FUZZ_BUILD=${CMAKE_BINARY_DIR}" TIMEOUT 600)
endforeach()
