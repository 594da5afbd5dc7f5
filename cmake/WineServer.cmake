# Starts or stops the Wine prefix and wineserver that a win64 test run uses.
#   cmake -DACTION=start|stop -DWINE64=... -DWINESERVER=... -DWINE_ENV=NAME=VALUE;... -P WineServer.cmake
# start: creates the prefix on first use and keeps one wineserver alive for
# the run (it goes by itself 60 seconds after its last program ends, should
# the stop never come). stop: ends that wineserver.
cmake_minimum_required(VERSION 3.25)

foreach(assignment IN LISTS WINE_ENV)
  string(FIND "${assignment}" "=" at)
  string(SUBSTRING "${assignment}" 0 ${at} name)
  math(EXPR at "${at} + 1")
  string(SUBSTRING "${assignment}" ${at} -1 value)
  set(ENV{${name}} "${value}")
endforeach()
unset(ENV{DISPLAY})
unset(ENV{WAYLAND_DISPLAY})

# The server outlives this script: it must not hold ctest's output pipes.
set(quiet OUTPUT_FILE ${CMAKE_CURRENT_BINARY_DIR}/wine_${ACTION}.log ERROR_FILE ${CMAKE_CURRENT_BINARY_DIR}/wine_${ACTION}.err)

if(ACTION STREQUAL "start")
  file(MAKE_DIRECTORY $ENV{WINEPREFIX})
  execute_process(COMMAND ${WINESERVER} -p60 RESULT_VARIABLE code ${quiet})
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "wineserver -p60 failed (${code})")
  endif()
  execute_process(COMMAND ${WINE64} wineboot --init RESULT_VARIABLE code ${quiet})
  if(NOT code EQUAL 0)
    message(FATAL_ERROR "wineboot --init failed (${code}) in $ENV{WINEPREFIX}")
  endif()
  message(STATUS "Wine prefix $ENV{WINEPREFIX} ready")
elseif(ACTION STREQUAL "stop")
  # No server left (it timed out) is no failure.
  execute_process(COMMAND ${WINESERVER} -k ${quiet})
else()
  message(FATAL_ERROR "ACTION must be start or stop, not '${ACTION}'")
endif()
