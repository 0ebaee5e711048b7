# bench_render for Windows (make bench-windows runs it under Wine), to set
# beside the Linux build's.
if(TARGET benchmark)
  add_executable(bench_render EXCLUDE_FROM_ALL ${PROJECT_SOURCE_DIR}/bench/bench_render.cpp)
  target_link_libraries(bench_render PRIVATE trellin_node benchmark::benchmark)
  set_target_properties(bench_render PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  add_dependencies(bench_render TrellinVx)
endif()

# The Windows build's tests, run under Wine (make test-windows): the host
# library with its platform layer, the effect's differential test of the fast
# kernels against the reference ones and its golden pictures, the frei0r
# trellin.dll against the Linux build's trellin.so, and the OpenFX bundle
# against the Linux trellin render.
#
# Wine runs headless in a prefix of the build tree's own, made once
# (wineboot) by the test that every other needs.
if(NOT TRELLIN_BUILD_TESTS)
  return()
endif()
enable_testing()

set(INSTALL_GTEST OFF CACHE BOOL "" FORCE)
set(BUILD_GMOCK OFF CACHE BOOL "" FORCE)
add_subdirectory(/usr/src/googletest ${CMAKE_BINARY_DIR}/_deps/googletest EXCLUDE_FROM_ALL)
foreach(gtest_target gtest gtest_main)
  target_compile_options(${gtest_target} PRIVATE -w)
endforeach()

set(WINE_PREFIX ${CMAKE_BINARY_DIR}/wine)
set(WINE_ENVIRONMENT "WINEPREFIX=${WINE_PREFIX}" "WINEDEBUG=-all" "WINEDLLOVERRIDES=mscoree,mshtml=" "DISPLAY=")
add_test(NAME wine_prefix COMMAND ${CMAKE_COMMAND} -E env ${WINE_ENVIRONMENT} wineboot --init)
set_tests_properties(wine_prefix PROPERTIES FIXTURES_SETUP wine TIMEOUT 300)

# Wine sees the machine's root as drive Z:.
set(WINE_SOURCE_DIR "Z:${PROJECT_SOURCE_DIR}")
set(TESTS ${PROJECT_SOURCE_DIR}/tests)

function(add_windows_tests target)
  cmake_parse_arguments(ARG "" "" "SOURCES;LINKS;SUITES" ${ARGN})
  add_executable(${target} ${ARG_SOURCES})
  target_link_libraries(${target} PRIVATE ${ARG_LINKS} gtest_main gtest)
  target_include_directories(${target} PRIVATE ${PROJECT_SOURCE_DIR} ${TESTS})
  target_compile_definitions(${target} PRIVATE TRELLIN_SOURCE_DIR="${WINE_SOURCE_DIR}")
  # Beside the module and the host library, which Windows finds there.
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/bin)
  add_dependencies(${target} TrellinVx)
  add_dependencies(windows_tests ${target})
  foreach(suite ${ARG_SUITES})
    add_test(NAME ${suite} COMMAND ${target} --gtest_filter=${suite}.*)
    set_tests_properties(${suite} PROPERTIES ENVIRONMENT "${WINE_ENVIRONMENT}" FIXTURES_REQUIRED wine TIMEOUT 600)
  endforeach()
endfunction()

add_custom_target(windows_tests ALL)

add_windows_tests(windows_host_tests
  SOURCES ${TESTS}/host/test_platform.cpp ${TESTS}/host/test_settings.cpp ${TESTS}/host/test_keyframes.cpp
          ${TESTS}/host/test_smp_pool.cpp
  LINKS trellinhost
  SUITES PlatformFiles PlatformLibrary PlatformProcess Controls RegvCheck TempDir Keyframes SmpPool)

add_windows_tests(windows_effect_tests
  SOURCES ${TESTS}/effect/fast/test_kernels.cpp ${TESTS}/effect/test_render.cpp ${TESTS}/effect/test_kernel_choice.cpp
          ${TESTS}/support/node_runner.cpp ${TESTS}/support/picture_diff.cpp ${TESTS}/support/host_image.cpp
          ${TESTS}/support/golden_picture_stb.cpp
  LINKS trellin_node
  SUITES KernelChoice FastKernels SquareRoot Render)

# The frei0r module against the Linux build's (make build), in ffmpeg.
set(TRELLIN_LINUX_BUILD ${PROJECT_SOURCE_DIR}/build CACHE PATH "The Linux build the Windows build's frames are compared with")
# The program lies in a folder of its own, where no DLL of ours is, as a
# host's program does.
add_executable(frei0r_raw_frame ${TESTS}/apps/frei0r/frei0r_raw_frame.cpp)
target_include_directories(frei0r_raw_frame PRIVATE ${PROJECT_SOURCE_DIR} ${FREI0R_INCLUDE_DIR})
set_target_properties(frei0r_raw_frame PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/host-program)
add_dependencies(frei0r_raw_frame trellin_frei0r_forwarder)
add_dependencies(windows_tests frei0r_raw_frame)
add_test(NAME Frei0rBuildsAgree
  COMMAND ${CMAKE_COMMAND} -DRAW_FRAME=$<TARGET_FILE:frei0r_raw_frame> -DWINDOWS_MODULE=$<TARGET_FILE:trellin_frei0r_forwarder>
          -DLINUX_FREI0R_DIR=${TRELLIN_LINUX_BUILD}/lib/frei0r-1 -DFOLDER=${CMAKE_BINARY_DIR}/tests/frei0r_frames
          -P ${TESTS}/apps/frei0r/frei0r_builds_agree.cmake)
set_tests_properties(Frei0rBuildsAgree PROPERTIES ENVIRONMENT "${WINE_ENVIRONMENT}" FIXTURES_REQUIRED wine TIMEOUT 300)

# The OpenFX bundle in the tests' OpenFX host, against the Linux build's
# trellin render (the Linux test program apps_tests compares). The host
# program lies in the folder of frei0r's, where no DLL of ours is.
add_executable(ofx_raw_frames ${TESTS}/apps/ofx/ofx_raw_frames.cpp)
target_include_directories(ofx_raw_frames PRIVATE ${PROJECT_SOURCE_DIR} ${TESTS})
set_target_properties(ofx_raw_frames PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests/host-program)
add_dependencies(ofx_raw_frames trellin_ofx_forwarder)
add_dependencies(windows_tests ofx_raw_frames)
add_test(NAME OfxBuildsAgree
  COMMAND ${CMAKE_COMMAND} -DRAW_FRAMES=$<TARGET_FILE:ofx_raw_frames> -DBUNDLE=${CMAKE_BINARY_DIR}/OFX/Plugins/Trellin.ofx.bundle
          -DLINUX_TESTS=${TRELLIN_LINUX_BUILD}/tests/apps_tests -DFOLDER=${CMAKE_BINARY_DIR}/tests/ofx_frames
          -P ${TESTS}/apps/ofx/ofx_builds_agree.cmake)
set_tests_properties(OfxBuildsAgree PROPERTIES ENVIRONMENT "${WINE_ENVIRONMENT}" FIXTURES_REQUIRED wine TIMEOUT 300)

# Each DLL's exports and imports.
add_test(NAME WindowsDlls
  COMMAND ${CMAKE_COMMAND} -DOBJDUMP=${CMAKE_OBJDUMP} -DBUILD=${CMAKE_BINARY_DIR} -P ${TESTS}/package/windows_dlls.cmake)

# make package-windows: build-windows/trellin-VERSION-windows-x64.zip.
set(WINDOWS_ZIP ${CMAKE_BINARY_DIR}/trellin-${PROJECT_VERSION}-windows-x64.zip)
add_custom_target(package_windows
  COMMAND ${CMAKE_COMMAND} -DBUILD=${CMAKE_BINARY_DIR} -DSOURCE=${PROJECT_SOURCE_DIR} -DVERSION=${PROJECT_VERSION}
          -DZIP=${WINDOWS_ZIP} -DKDENLIVE_EFFECT=${TRELLIN_LINUX_BUILD}/share/kdenlive/effects/frei0r_trellin.xml
          -P ${PROJECT_SOURCE_DIR}/package/windows_zip.cmake
  DEPENDS trellin_frei0r_forwarder trellin_ofx_forwarder TrellinVx trellinhost
  VERBATIM)
