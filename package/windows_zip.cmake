# make package-windows: the Windows build's plug-ins in one zip with a short
# page on where each goes.
#   -DBUILD=... (build-windows) -DSOURCE=... -DVERSION=... -DZIP=...
#   -DKDENLIVE_EFFECT=... (the Linux build's effect description; taken when
#   it exists)
cmake_minimum_required(VERSION 3.25)
set(stage ${BUILD}/package-windows/trellin-${VERSION}-windows-x64)
file(REMOVE_RECURSE ${BUILD}/package-windows)
file(MAKE_DIRECTORY ${stage}/frei0r/trellin ${stage}/module)
foreach(file lib/frei0r-1/trellin.dll lib/frei0r-1/trellin/trellin-frei0r.dll lib/frei0r-1/trellin/TrellinVx.node
             lib/frei0r-1/trellin/trellinhost.dll bin/TrellinVx.node bin/trellinhost.dll
             OFX/Plugins/Trellin.ofx.bundle/Contents/Win64/Trellin.ofx)
  if(NOT EXISTS ${BUILD}/${file})
    message(FATAL_ERROR "package-windows: ${BUILD}/${file} is missing (make windows)")
  endif()
endforeach()
file(COPY ${BUILD}/lib/frei0r-1/trellin.dll DESTINATION ${stage}/frei0r)
file(COPY ${BUILD}/lib/frei0r-1/trellin/trellin-frei0r.dll ${BUILD}/lib/frei0r-1/trellin/TrellinVx.node
          ${BUILD}/lib/frei0r-1/trellin/trellinhost.dll DESTINATION ${stage}/frei0r/trellin)
file(COPY ${BUILD}/bin/TrellinVx.node ${BUILD}/bin/trellinhost.dll DESTINATION ${stage}/module)
# The OpenFX bundle whole: Contents/Win64 and Contents/Resources.
file(COPY ${BUILD}/OFX/Plugins/Trellin.ofx.bundle DESTINATION ${stage}/ofx)
if(EXISTS "${KDENLIVE_EFFECT}")
  file(COPY ${KDENLIVE_EFFECT} DESTINATION ${stage}/kdenlive)
endif()
file(READ ${SOURCE}/package/windows-readme.txt page)
string(REPLACE "@VERSION@" "${VERSION}" page "${page}")
# Windows' own line ends, for Notepad.
string(REPLACE "\n" "\r\n" page "${page}")
file(WRITE ${stage}/README.txt "${page}")

file(REMOVE ${ZIP})
execute_process(COMMAND ${CMAKE_COMMAND} -E tar cf ${ZIP} --format=zip trellin-${VERSION}-windows-x64
                WORKING_DIRECTORY ${BUILD}/package-windows RESULT_VARIABLE result)
if(NOT result EQUAL 0 OR NOT EXISTS ${ZIP})
  file(REMOVE ${ZIP})
  message(FATAL_ERROR "package-windows: cannot write ${ZIP}")
endif()
message(STATUS "package-windows: ${ZIP}")
