# Checks that each folder of the module includes only the folders below it:
#   contract  <- pixels <- framework <- effect <- node
#   contract  <- host
# An include of a folder of the tree that is not in a folder's list (say
# effect/ including node/) is reported with its file and line, and the run
# fails. Includes of other libraries ("hwy/...", <vector>) are not looked at.
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
set(floors contract pixels framework effect host node)

# The folders of the tree an include can name.
file(GLOB entries LIST_DIRECTORIES true RELATIVE ${ROOT} ${ROOT}/*)
set(tree_folders ${floors} apps tests fuzz bench tools)
foreach(entry ${entries})
  if(IS_DIRECTORY ${ROOT}/${entry} AND NOT entry MATCHES "^\\.")
    list(APPEND tree_folders ${entry})
  endif()
endforeach()

set(faults 0)
set(checked 0)
foreach(floor ${floors})
  if(NOT IS_DIRECTORY ${ROOT}/${floor})
    continue()
  endif()
  file(GLOB_RECURSE sources RELATIVE ${ROOT} ${ROOT}/${floor}/*.h ${ROOT}/${floor}/*.cpp)
  foreach(source ${sources})
    math(EXPR checked "${checked} + 1")
    file(STRINGS ${ROOT}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*[\"<][^/\">]+/")
    foreach(line ${lines})
      string(REGEX REPLACE "^[ \t]*#[ \t]*include[ \t]*[\"<]([^/\">]+)/.*" "\\1" folder "${line}")
      if(folder IN_LIST tree_folders AND NOT folder IN_LIST allowed_${floor})
        string(STRIP "${line}" line)
        string(REPLACE ";" "/, " below "${allowed_${floor}}/")
        message("${source}: ${line}: ${floor}/ may include only ${below}")
        math(EXPR faults "${faults} + 1")
      endif()
    endforeach()
  endforeach()
endforeach()

if(faults GREATER 0)
  message(FATAL_ERROR "include_floors: ${faults} include(s) reach up a floor")
endif()
message(STATUS "include_floors: ${checked} files include only downward")
