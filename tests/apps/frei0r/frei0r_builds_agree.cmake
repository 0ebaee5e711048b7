# The Windows trellin.dll, run under Wine, renders the frame the Linux
# trellin.so renders in ffmpeg's frei0r filter, byte for byte, loaded from
# a copy of its folders whose name is not ASCII (as a user's own folder's
# name may be), so that every step that finds a file by the plug-in's own
# place keeps the name whole.
#   -DRAW_FRAME=... (the Windows frei0r_raw_frame.exe) -DWINDOWS_MODULE=...
#   -DLINUX_FREI0R_DIR=... (the Linux build's lib/frei0r-1) -DFOLDER=...
cmake_minimum_required(VERSION 3.25)
foreach(var RAW_FRAME WINDOWS_MODULE LINUX_FREI0R_DIR FOLDER)
  if(NOT DEFINED ${var})
    message(FATAL_ERROR "frei0r_builds_agree: ${var} not given")
  endif()
endforeach()
if(NOT EXISTS ${LINUX_FREI0R_DIR}/trellin.so)
  message(FATAL_ERROR "frei0r_builds_agree: no Linux build of the frei0r module in ${LINUX_FREI0R_DIR} (make build)")
endif()
file(REMOVE_RECURSE ${FOLDER})
file(MAKE_DIRECTORY ${FOLDER})

get_filename_component(module_dir ${WINDOWS_MODULE} DIRECTORY)
get_filename_component(module_name ${WINDOWS_MODULE} NAME)
set(plugins "${FOLDER}/plug-ins éü 日本 Γυαλί")
file(MAKE_DIRECTORY "${plugins}")
file(COPY ${module_dir}/ DESTINATION "${plugins}")
execute_process(COMMAND wine ${RAW_FRAME} "Z:${plugins}/${module_name}" Z:${FOLDER} RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "frei0r_builds_agree: the Windows module's frame failed (${result})")
endif()

execute_process(
  COMMAND ${CMAKE_COMMAND} -E env FREI0R_PATH=${LINUX_FREI0R_DIR}
          ffmpeg -v error -nostdin -f rawvideo -pix_fmt rgba -s 160x96 -i ${FOLDER}/in.rgba
          -vf frei0r=filter_name=trellin -f rawvideo -pix_fmt rgba -y ${FOLDER}/linux.rgba
  RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "frei0r_builds_agree: ffmpeg with the Linux module failed (${result})")
endif()

file(SIZE ${FOLDER}/out.rgba size)
if(NOT size EQUAL 61440)
  message(FATAL_ERROR "frei0r_builds_agree: the Windows frame holds ${size} bytes, not 160 x 96 x 4")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${FOLDER}/out.rgba ${FOLDER}/linux.rgba RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "frei0r_builds_agree: the Windows and Linux frames differ (${FOLDER})")
endif()
execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files ${FOLDER}/out.rgba ${FOLDER}/in.rgba RESULT_VARIABLE result)
if(result EQUAL 0)
  message(FATAL_ERROR "frei0r_builds_agree: the frame came out as it went in: no glass")
endif()
message(STATUS "frei0r_builds_agree: the Windows and Linux frames are equal")
