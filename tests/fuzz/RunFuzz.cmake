# Runs the fuzzer for SECONDS on a scratch copy of the seed corpus (new inputs
# go to the copy, never into the source tree) and fails when it finds a crash.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus ${WORK}/artifacts)
file(GLOB seeds ${CORPUS}/*)
file(COPY ${seeds} DESTINATION ${WORK}/corpus)
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -max_len=65536 -timeout=20 -rss_limit_mb=4096
    -print_final_stats=1 -artifact_prefix=${WORK}/artifacts/ ${WORK}/corpus
  RESULT_VARIABLE result
  ERROR_VARIABLE log)
file(WRITE ${WORK}/fuzz.log "${log}")
string(REGEX MATCH "stat::number_of_executed_units: *[0-9]+" executed "${log}")
message(STATUS "${executed} (log: ${WORK}/fuzz.log)")
if(NOT result EQUAL 0)
  string(LENGTH "${log}" length)
  math(EXPR from "${length} - 6000")
  if(from LESS 0)
    set(from 0)
  endif()
  string(SUBSTRING "${log}" ${from} -1 tail)
  message(FATAL_ERROR "The fuzzer failed (${result}):\n${tail}")
endif()
