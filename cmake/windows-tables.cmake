# The export and import tables of a Windows cross build, as CTest tests
# labelled tables: the plug-in is a DLL of the right format that exports
# exactly the ten functions and imports only what every Windows has (the
# 32-bit one binds each export to its __stdcall function), and kova.exe
# needs no compiler runtime beside it. Nothing here runs Windows code, so
# the 32-bit build is checked too.
find_program(KOVA_PE_OBJDUMP NAMES x86_64-w64-mingw32-objdump ${KOVA_MINGW_TRIPLE}-objdump)
find_program(KOVA_PE_NM NAMES ${KOVA_MINGW_TRIPLE}-nm)

function(kova_pe_table_test name)
  add_test(NAME ${name} COMMAND bash ${PROJECT_SOURCE_DIR}/cmake/tiers/pe-tables.sh ${ARGN})
  set_tests_properties(${name} PROPERTIES LABELS "tables"
    ENVIRONMENT "OBJDUMP=${KOVA_PE_OBJDUMP};NM=${KOVA_PE_NM}")
endfunction()

if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  set(plugin kova.spi)
  set(format pei-i386)
else()
  set(plugin kova.sph)
  set(format pei-x86-64)
endif()
set(plugin_file ${CMAKE_BINARY_DIR}/${plugin})
kova_pe_table_test(tables.${plugin}.format format ${plugin_file} ${format})
kova_pe_table_test(tables.${plugin}.exports exports ${plugin_file})
kova_pe_table_test(tables.${plugin}.imports imports ${plugin_file})
if(CMAKE_SIZEOF_VOID_P EQUAL 4)
  kova_pe_table_test(tables.${plugin}.stdcall stdcall ${plugin_file})
endif()
if(KOVA_CLI)
  kova_pe_table_test(tables.kova.exe.runtime no-runtime ${CMAKE_BINARY_DIR}/kova.exe)
endif()
