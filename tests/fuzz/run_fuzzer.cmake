# Runs one libFuzzer target for a bounded time on a copy of its seed corpus
# and prints one line with the number of executions (the fuzz_ tests).
#   -DFUZZER=<program> -DCORPUS=<seed folder> -DWORK=<scratch folder>
#   -DSECONDS=<time> -DRUNS=<most executions>
# The seeds are copied into WORK/corpus, which collects what the run finds;
# a crash leaves its input in WORK as crash-<hash> and fails the test.
get_filename_component(name ${FUZZER} NAME)
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK}/corpus)
file(GLOB seeds ${CORPUS}/*)
if(seeds)
  file(COPY ${seeds} DESTINATION ${WORK}/corpus)
endif()
execute_process(
  COMMAND ${FUZZER} -max_total_time=${SECONDS} -runs=${RUNS} -print_final_stats=1
          -timeout=30 -rss_limit_mb=2048 -artifact_prefix=${WORK}/ ${WORK}/corpus
  WORKING_DIRECTORY ${WORK}
  RESULT_VARIABLE status
  OUTPUT_FILE ${WORK}/output.txt
  ERROR_FILE ${WORK}/output.txt)
file(READ ${WORK}/output.txt log)
string(REGEX MATCH "stat::number_of_executed_units: *([0-9]+)" found "${log}")
set(executions ${CMAKE_MATCH_1})
file(GLOB kept ${WORK}/corpus/*)
list(LENGTH kept files)
if(NOT status EQUAL 0 OR NOT executions)
  string(LENGTH "${log}" length)
  if(length GREATER 12000)
    math(EXPR from "${length} - 12000")
    string(SUBSTRING "${log}" ${from} -1 log)
  endif()
  message("${log}")
  message(FATAL_ERROR "${name}: failed (exit ${status}); the log is ${WORK}/output.txt")
endif()
message("${name}: ${executions} executions in at most ${SECONDS} s, corpus ${files} files, nothing found")
