# What the Windows build stands on, for MinGW-w64 (the "windows" preset).
# Debian's development packages hold Linux libraries, so:
#   nlohmann-json, frei0r.h and stb (the tests' PNG reader)
#                               Debian's headers, from a folder of links to
#                               them (not /usr/include as a whole, whose C
#                               headers are Linux's);
#   Highway                     compiled here from Debian's source package,
#                               which the configure step unpacks into the
#                               build tree with apt-get source;
#   GoogleTest                  compiled here from Debian's googletest sources;
#   OpenGL                      Windows' opengl32.
find_package(Threads REQUIRED)

set(TRELLIN_WINDOWS_HEADERS ${CMAKE_BINARY_DIR}/debian-headers)
file(MAKE_DIRECTORY ${TRELLIN_WINDOWS_HEADERS})
foreach(header nlohmann frei0r.h stb)
  if(NOT EXISTS /usr/include/${header})
    message(FATAL_ERROR "/usr/include/${header} is missing: run tools/install-deps.sh --windows")
  endif()
  file(CREATE_LINK /usr/include/${header} ${TRELLIN_WINDOWS_HEADERS}/${header} SYMBOLIC)
endforeach()
set(FREI0R_INCLUDE_DIR ${TRELLIN_WINDOWS_HEADERS} CACHE PATH "frei0r.h's folder")
add_library(nlohmann_json INTERFACE)
target_include_directories(nlohmann_json SYSTEM INTERFACE ${TRELLIN_WINDOWS_HEADERS})
add_library(nlohmann_json::nlohmann_json ALIAS nlohmann_json)

add_library(OpenGL::GL INTERFACE IMPORTED)
set_target_properties(OpenGL::GL PROPERTIES INTERFACE_LINK_LIBRARIES opengl32)

# Highway: the version Debian builds libhwy-dev from, so that both builds
# compile the same kernels.
set(HWY_SOURCE_ROOT ${CMAKE_BINARY_DIR}/_deps/highway)
file(GLOB HWY_SOURCE_DIR LIST_DIRECTORIES true ${HWY_SOURCE_ROOT}/highway-*)
if(NOT HWY_SOURCE_DIR)
  find_program(APT_GET apt-get REQUIRED)
  file(MAKE_DIRECTORY ${HWY_SOURCE_ROOT})
  message(STATUS "Fetching Debian's source package of Highway into ${HWY_SOURCE_ROOT}")
  execute_process(COMMAND ${APT_GET} source -qq highway
    WORKING_DIRECTORY ${HWY_SOURCE_ROOT} RESULT_VARIABLE hwy_result OUTPUT_QUIET)
  file(GLOB HWY_SOURCE_DIR LIST_DIRECTORIES true ${HWY_SOURCE_ROOT}/highway-*)
  if(NOT hwy_result EQUAL 0 OR NOT HWY_SOURCE_DIR)
    message(FATAL_ERROR "apt-get source highway failed in ${HWY_SOURCE_ROOT}: "
                        "run tools/install-deps.sh --windows, which adds Debian's source lines")
  endif()
endif()
list(GET HWY_SOURCE_DIR 0 HWY_SOURCE_DIR)
add_library(hwy STATIC
  ${HWY_SOURCE_DIR}/hwy/aligned_allocator.cc
  ${HWY_SOURCE_DIR}/hwy/nanobenchmark.cc
  ${HWY_SOURCE_DIR}/hwy/per_target.cc
  ${HWY_SOURCE_DIR}/hwy/print.cc
  ${HWY_SOURCE_DIR}/hwy/targets.cc)
target_include_directories(hwy SYSTEM PUBLIC ${HWY_SOURCE_DIR})
target_compile_definitions(hwy PUBLIC HWY_STATIC_DEFINE)
# Its own sources, not ours: its warnings are its maintainers'.
target_compile_options(hwy PRIVATE -w)
add_library(hwy::hwy ALIAS hwy)
