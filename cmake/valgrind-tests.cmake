# kova_valgrind_test(NAME PROGRAM PLUGIN): PROGRAM's GoogleTest cases in one
# run under valgrind memcheck, against PLUGIN, labelled valgrind. Definite
# and indirect leaks are errors; any error fails the test. Without valgrind
# the test reports the tier skipped (a failure with CI=true).
find_program(KOVA_VALGRIND valgrind)

function(kova_valgrind_test name program plugin)
  if(KOVA_VALGRIND)
    add_test(NAME ${name}
      COMMAND ${KOVA_VALGRIND} -q --error-exitcode=1 --leak-check=full
              --errors-for-leak-kinds=definite,indirect --show-leak-kinds=definite,indirect
              $<TARGET_FILE:${program}> --gtest_brief=1)
    set_tests_properties(${name} PROPERTIES
      ENVIRONMENT "KOVA_UNDER_VALGRIND=1;KOVA_PLUGIN=$<TARGET_FILE:${plugin}>;KOVA_CONCURRENCY_ROUNDS=4"
      TIMEOUT 3000)
  else()
    add_test(NAME ${name} COMMAND sh ${PROJECT_SOURCE_DIR}/cmake/tiers/skipped.sh "valgrind is missing")
    set_tests_properties(${name} PROPERTIES SKIP_RETURN_CODE 77)
  endif()
  set_property(TEST ${name} APPEND PROPERTY LABELS valgrind)
endfunction()
