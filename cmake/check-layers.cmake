# Checks that the layers depend only downward, as the top-level CMakeLists.txt
# describes them: no source includes a header of a layer above its own, and
# no CMake list compiles a source file of another folder.
#
#   cmake -DROOT=<repository> -P cmake/check-layers.cmake
if(NOT ROOT)
  message(FATAL_ERROR "ROOT is not set")
endif()

# What each layer may include from the repository, besides its own folder.
set(allowed_format "")
set(allowed_platform "")
set(allowed_archive "format/|platform/")
set(allowed_plugin "format/|archive/|platform/")
set(allowed_host "plugin/interface\\.h|plugin/exports\\.h|platform/win_api\\.h")
set(allowed_cli "host/|format/|plugin/interface\\.h|plugin/exports\\.h|platform/win_api\\.h")

set(failures "")
foreach(layer format platform archive plugin host cli)
  file(GLOB sources ${ROOT}/${layer}/*.h ${ROOT}/${layer}/*.cpp)
  foreach(source IN LISTS sources)
    file(STRINGS ${source} includes REGEX "^#include \"")
    foreach(line IN LISTS includes)
      string(REGEX REPLACE "^#include \"([^\"]*)\".*" "\\1" header "${line}")
      if(header MATCHES "^${layer}/")
        continue()
      endif()
      if(NOT allowed_${layer} STREQUAL "" AND header MATCHES "^(${allowed_${layer}})")
        continue()
      endif()
      file(RELATIVE_PATH shown ${ROOT} ${source})
      list(APPEND failures "${shown} includes ${header}")
    endforeach()
  endforeach()
endforeach()

file(GLOB_RECURSE lists ${ROOT}/CMakeLists.txt ${ROOT}/*/CMakeLists.txt)
foreach(list_file IN LISTS lists)
  if(list_file MATCHES "/build[^/]*/")
    continue()
  endif()
  file(STRINGS ${list_file} lines REGEX "(\\.\\./|(CMAKE|PROJECT)_SOURCE_DIR}/)[^ )]*\\.(c|cc|cpp)([ )]|$)")
  foreach(line IN LISTS lines)
    file(RELATIVE_PATH shown ${ROOT} ${list_file})
    list(APPEND failures "${shown} compiles another folder's source: ${line}")
  endforeach()
endforeach()

if(failures)
  list(JOIN failures "\n  " text)
  message(FATAL_ERROR "layering broken:\n  ${text}")
endif()
message(STATUS "layers depend only downward")
