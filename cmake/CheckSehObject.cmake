# Checks the guards' structured exception frame as clang built it for the
# mingw-w64 DLL: it defines tarvex_seh_call and needs nothing but
# __C_specific_handler (msvcrt.dll exports it), and asks the linker for no
# library of its own (no .drectve section, such as a /DEFAULTLIB of the
# MSVC runtime, which a mingw image must not pull in).
#   cmake -DOBJDUMP=... -DOBJECT=seh_guard.obj -P CheckSehObject.cmake
cmake_minimum_required(VERSION 3.25)

execute_process(COMMAND ${OBJDUMP} -h -t ${OBJECT}
  OUTPUT_VARIABLE dump ERROR_VARIABLE errors RESULT_VARIABLE code)
if(NOT code EQUAL 0)
  message(FATAL_ERROR "${OBJDUMP} -h -t ${OBJECT} failed (${code}): ${errors}")
endif()

set(failures 0)
macro(fail text)
  message(SEND_ERROR "${OBJECT}: ${text}")
  math(EXPR failures "${failures} + 1")
endmacro()

if(NOT dump MATCHES "file format pe-x86-64")
  fail("not a 64-bit COFF object")
endif()
if(dump MATCHES "\\.drectve")
  fail("carries linker directives (.drectve)")
endif()
if(NOT dump MATCHES " \\.pdata " OR NOT dump MATCHES " \\.xdata ")
  fail("has no unwind data: the __try/__except frame is missing")
endif()

set(defined)
set(needed)
string(REPLACE "\n" ";" lines "${dump}")
foreach(line IN LISTS lines)
  # External symbols (storage class 2): section 0 means needed from elsewhere.
  if(line MATCHES "^\\[ *[0-9]+\\]\\(sec +(-?[0-9]+)\\)\\(fl [^)]*\\)\\(ty +[0-9a-f]+\\)\\(scl +2\\) \\(nx [0-9]+\\) 0x[0-9a-f]+ (.+)$")
    if(CMAKE_MATCH_1 STREQUAL "0")
      list(APPEND needed "${CMAKE_MATCH_2}")
    else()
      list(APPEND defined "${CMAKE_MATCH_2}")
    endif()
  endif()
endforeach()
if(NOT defined STREQUAL "tarvex_seh_call")
  fail("defines '${defined}' instead of exactly tarvex_seh_call")
endif()
if(NOT needed STREQUAL "__C_specific_handler")
  fail("needs '${needed}' instead of exactly __C_specific_handler")
endif()

if(failures GREATER 0)
  message(FATAL_ERROR "${OBJECT}: ${failures} check(s) failed")
endif()
message(STATUS "${OBJECT}: defines ${defined}, needs only ${needed}, no linker directives")
