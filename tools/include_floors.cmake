# Checks that each floor of the tree includes only itself and the floors
# below it. The module:
#   contract <- pixels <- framework <- effect <- node
#   contract <- host
# The programs and plug-ins (apps/), which reach the module only by loading
# it, never by its sources:
#   contract, host <- apps/common/core <- apps/common/cli, apps/common/picture
#   <- apps/video <- each host (apps/trellin, apps/ofx, ...)
#   apps/gl stands beside apps/common/core; hosts never include each other.
# An include of a floor that is not in a file's list (say effect/ including
# node/, or apps/ofx/ including apps/frei0r/) is reported with its file and
# line, and the run fails. Includes of other libraries ("hwy/...", <vector>)
# are not looked at. The build runs this check before it compiles a floor.
#
#   cmake -DROOT=<source tree> -P tools/include_floors.cmake
cmake_minimum_required(VERSION 3.25)
if(NOT ROOT)
  message(FATAL_ERROR "include_floors: give the source tree as -DROOT=...")
endif()

set(allowed_contract contract)
set(allowed_pixels contract pixels)
set(allowed_framework contract pixels framework)
set(allowed_effect contract pixels framework effect)
set(allowed_host contract host)
set(allowed_node contract pixels framework effect node)
set(app_base contract host)
set(allowed_apps/common/core ${app_base} apps/common/core)
set(allowed_apps/gl ${app_base} apps/gl)
set(allowed_apps/common/cli ${app_base} apps/common/core apps/common/cli)
set(allowed_apps/common/picture ${app_base} apps/common/core apps/common/picture)
set(allowed_apps/video ${allowed_apps/common/picture} apps/video)
set(host_floors ${allowed_apps/video} apps/common/cli apps/gl)

# The floor a path of the tree lies on: its first folder, or for apps/ its
# program's folder (apps/trellin) or shared floor (apps/common/core).
function(floor_of path out)
  if(path MATCHES "^apps/common/([^/]+)/")
    set(${out} "apps/common/${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(path MATCHES "^apps/([^/]+)/")
    set(${out} "apps/${CMAKE_MATCH_1}" PARENT_SCOPE)
  elseif(path MATCHES "^([^/]+)/")
    set(${out} "${CMAKE_MATCH_1}" PARENT_SCOPE)
  else()
    set(${out} "" PARENT_SCOPE)
  endif()
endfunction()

# The folders of the tree an include can name.
file(GLOB entries LIST_DIRECTORIES true RELATIVE ${ROOT} ${ROOT}/*)
set(tree_folders contract pixels framework effect host node apps tests fuzz bench tools)
foreach(entry ${entries})
  if(IS_DIRECTORY ${ROOT}/${entry} AND NOT entry MATCHES "^\\.")
    list(APPEND tree_folders ${entry})
  endif()
endforeach()

set(faults 0)
set(checked 0)
file(GLOB_RECURSE sources RELATIVE ${ROOT}
  ${ROOT}/contract/*.h ${ROOT}/pixels/*.h ${ROOT}/pixels/*.cpp ${ROOT}/framework/*.h ${ROOT}/framework/*.cpp
  ${ROOT}/effect/*.h ${ROOT}/effect/*.cpp ${ROOT}/host/*.h ${ROOT}/host/*.cpp ${ROOT}/node/*.h ${ROOT}/node/*.cpp
  ${ROOT}/apps/*.h ${ROOT}/apps/*.cpp)
foreach(source ${sources})
  floor_of(${source} floor)
  if(NOT DEFINED allowed_${floor})
    # A host: every shared floor of apps/, and its own folder.
    set(allowed_${floor} ${host_floors} ${floor})
  endif()
  math(EXPR checked "${checked} + 1")
  file(STRINGS ${ROOT}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^/\">]+/")
  foreach(line ${lines})
    string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^\">]+)[\">].*" "\\1" included "${line}")
    string(REGEX REPLACE "/.*" "" top "${included}")
    if(NOT top IN_LIST tree_folders)
      continue()
    endif()
    floor_of(${included} target)
    if(NOT target IN_LIST allowed_${floor})
      string(STRIP "${line}" line)
      string(REPLACE ";" "/, " below "${allowed_${floor}}/")
      message("${source}: ${line}: ${floor}/ may include only ${below}")
      math(EXPR faults "${faults} + 1")
    endif()
  endforeach()
endforeach()

if(faults GREATER 0)
  message(FATAL_ERROR "include_floors: ${faults} include(s) reach up a floor")
endif()
message(STATUS "include_floors: ${checked} files include only downward")
