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

# The unpacked source of Debian's source package `package` (apt-get source
# into the build tree, once), in `out`.
function(debian_source package out)
  set(root ${CMAKE_BINARY_DIR}/_deps/${package})
  file(GLOB dir LIST_DIRECTORIES true ${root}/${package}-*)
  if(NOT dir)
    find_program(APT_GET apt-get REQUIRED)
    file(MAKE_DIRECTORY ${root})
    message(STATUS "Fetching Debian's source package of ${package} into ${root}")
    execute_process(COMMAND ${APT_GET} source -qq ${package}
      WORKING_DIRECTORY ${root} RESULT_VARIABLE result OUTPUT_QUIET)
    file(GLOB dir LIST_DIRECTORIES true ${root}/${package}-*)
    if(NOT result EQUAL 0 OR NOT dir)
      message(FATAL_ERROR "apt-get source ${package} failed in ${root}: "
                          "run tools/install-deps.sh --windows, which adds Debian's source lines")
    endif()
  endif()
  list(GET dir 0 dir)
  set(${out} ${dir} PARENT_SCOPE)
endfunction()

# Highway: the version Debian builds libhwy-dev from, so that both builds
# compile the same kernels.
debian_source(highway HWY_SOURCE_DIR)
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

# Google Benchmark, for bench_render, from Debian's source package too;
# fetched only when the benchmarks are built.
if(NOT DEFINED TRELLIN_BUILD_BENCH OR TRELLIN_BUILD_BENCH)
  debian_source(benchmark BENCHMARK_SOURCE_DIR)
  file(GLOB benchmark_sources ${BENCHMARK_SOURCE_DIR}/src/*.cc)
  list(FILTER benchmark_sources EXCLUDE REGEX "/benchmark_main\\.cc$")
  add_library(benchmark STATIC EXCLUDE_FROM_ALL ${benchmark_sources})
  target_include_directories(benchmark SYSTEM PUBLIC ${BENCHMARK_SOURCE_DIR}/include)
  target_compile_definitions(benchmark PUBLIC BENCHMARK_STATIC_DEFINE PRIVATE HAVE_STD_REGEX)
  target_link_libraries(benchmark PUBLIC shlwapi Threads::Threads)
  target_compile_options(benchmark PRIVATE -w)
  add_library(benchmark::benchmark ALIAS benchmark)
endif()
