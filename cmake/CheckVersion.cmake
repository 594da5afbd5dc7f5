# Reads the version resource back out of a built plug-in DLL (windres turns
# the DLL's resources into resource script text) and checks what a Windows
# user sees in the file's properties: file and product version from the
# project's version, product name, description, copyright line, file name.
#   cmake -DWINDRES=... -DDLL=tarvex_x64.dll -DVERSION=1.2.3 -DWIDTH=x64|x32 -P CheckVersion.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${WINDRES} -i ${DLL} -O rc
  OUTPUT_VARIABLE script ERROR_VARIABLE errors RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "${WINDRES} -i ${DLL} -O rc failed (${code}): ${errors}")
endif()

string(REPLACE "." ";" parts "${VERSION}")
list(GET parts 0 major)
list(GET parts 1 minor)
list(GET parts 2 patch)
if(WIDTH STREQUAL "x64")
  set(host "64-bit")
else()
  set(host "32-bit")
endif()

set(wanted
  "\n1 VERSIONINFO\n"
  "\n FILEVERSION ${major}, ${minor}, ${patch}, 0\n"
  "\n PRODUCTVERSION ${major}, ${minor}, ${patch}, 0\n"
  "\n FILETYPE 0x2\n"
  "VALUE \"FileVersion\", \"${VERSION}\"\n"
  "VALUE \"ProductVersion\", \"${VERSION}\"\n"
  "VALUE \"ProductName\", \"tarvex\"\n"
  "VALUE \"FileDescription\", \"tarvex: MOM_ commands for the post-processor of the ${host} host\"\n"
  "VALUE \"OriginalFilename\", \"tarvex_${WIDTH}.dll\"\n"
  "VALUE \"InternalName\", \"tarvex_${WIDTH}\"\n"
  "VALUE \"Translation\", 0x409, 1200\n")
set(failures 0)
foreach(text IN LISTS wanted)
  string(FIND "${script}" "${text}" at)
  if(at EQUAL -1)
    string(STRIP "${text}" shown)
    message(SEND_ERROR "${DLL}: the version resource lacks '${shown}'")
    math(EXPR failures "${failures} + 1")
  endif()
endforeach()
if(NOT script MATCHES "VALUE \"LegalCopyright\", \"Copyright \\(C\\) [0-9]+ [^\"]+\"")
  message(SEND_ERROR "${DLL}: the version resource has no copyright line")
  math(EXPR failures "${failures} + 1")
endif()
if(failures GREATER 0)
  message(FATAL_ERROR "${DLL}: ${failures} check(s) of the version resource failed:\n${script}")
endif()
message(STATUS "${DLL}: version ${VERSION}, product tarvex, ${host} host")
