# The Windows OpenFX bundle, loaded under Wine by the tests' OpenFX host built
# for Windows, renders at 8, 16 and 32 bits the frames the Linux trellin
# render makes of the same sources, bit for bit. The bundle is copied into a
# folder whose name is not ASCII (as a user's own folder's name may be), so
# that every step that finds a file by the plug-in's own place keeps the name
# whole. The comparison is the Linux test OfxPlugin.WindowsBundleFramesEqual-
# TrellinRender, given the folder of the Windows frames.
#   -DRAW_FRAMES=... (the Windows ofx_raw_frames.exe) -DBUNDLE=... (the
#   Windows build's Trellin.ofx.bundle) -DLINUX_TESTS=... (the Linux build's
#   apps_tests) -DFOLDER=...
cmake_minimum_required(VERSION 3.25)
foreach(var RAW_FRAMES BUNDLE LINUX_TESTS FOLDER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "ofx_builds_agree: ${var} not given")
  endif()
endforeach()
if(NOT EXISTS ${LINUX_TESTS})
  message(FATAL_ERROR "ofx_builds_agree: no Linux build of the OpenFX tests in ${LINUX_TESTS} (make build)")
endif()
file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER})

set(plugins "${FOLDER}/OFX éü 日本 Γυαλί")
file(MAKE_DIRECTORY "${plugins}")
file(COPY ${BUNDLE} DESTINATION "${plugins}")
execute_process(COMMAND wine ${RAW_FRAMES} "Z:${plugins}/Trellin.ofx.bundle" Z:${FOLDER} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "ofx_builds_agree: the Windows bundle's frames failed (${result})")
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env TRELLIN_WINDOWS_OFX_FRAMES=${FOLDER} ${LINUX_TESTS}
          --gtest_filter=OfxPlugin.WindowsBundleFramesEqualTrellinRender
  RESULT_VARIABLE result OUTPUT_VARIABLE output ERROR_VARIABLE output)
if(NOT result EQUAL 0 OR NOT output MATCHES "\\[  PASSED  \\] 1 test" OR output MATCHES "SKIPPED")
  message(FATAL_ERROR "ofx_builds_agree: the Windows frames differ from trellin render's (${FOLDER}):\n${output}")
endif()
message(STATUS "ofx_builds_agree: the Windows bundle's frames at 8, 16 and 32 bits equal trellin render's")
