# Runs one test of a GoogleTest program that must end in an unguarded
# fault: passes when the program got as far as the fault (it printed
# BEFORE), never past it (no AFTER), and ended with a failure status.
#   cmake -DPROGRAM=... -DFILTER=... -DBEFORE=... -DAFTER=... [-DEMULATOR=a;b;c] -P CheckCrash.cmake
cmake_minimum_required(VERSION 3.25)

# Under Wine: no debugger is started for the fault (it would print a
# crash dump and could outlive the program).
if(EMULATOR MATCHES "wine")
  set(overrides "")
  foreach(word IN LISTS EMULATOR)
    if(word MATCHES "^WINEDLLOVERRIDES=(.*)$")
      set(overrides "${CMAKE_MATCH_1}")
    endif()
  endforeach()
  list(FILTER EMULATOR EXCLUDE REGEX "^WINEDLLOVERRIDES=")
  if(overrides STREQUAL "")
    set(ENV{WINEDLLOVERRIDES} "winedbg.exe=d")
  else()
    set(ENV{WINEDLLOVERRIDES} "${overrides};winedbg.exe=d")
  endif()
endif()

execute_process(
  COMMAND ${EMULATOR} ${PROGRAM} --gtest_also_run_disabled_tests --gtest_filter=${FILTER}
  OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE code
  TIMEOUT 120)
message(STATUS "exit status: ${code}")
if(NOT out MATCHES "${BEFORE}")
  message(FATAL_ERROR "the program never reached the fault:\n${out}\n${err}")
endif()
if(out MATCHES "${AFTER}")
  message(FATAL_ERROR "the program went on after the fault:\n${out}")
endif()
if(code EQUAL 0)
  message(FATAL_ERROR "the program ended with status 0 after the fault:\n${out}")
endif()
message(STATUS "the unguarded fault ended the program, as it must")
