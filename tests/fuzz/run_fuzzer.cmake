# Runs one fuzz target for a bounded time, on a copy of its seeds in a work
# folder that starts empty, so that the seeds in the source tree are never
# written to. Fails when the target is missing or finds anything: a crash,
# a failed check, a sanitizer report, an input that runs too long or takes
# too much memory. On failure the input found stays in the work folder.
#
#   cmake -DFUZZER=<program> -DSEEDS=<folder> -DWORK=<folder> -DSECONDS=<n>
#         -P run_fuzzer.cmake
foreach(name FUZZER SEEDS WORK SECONDS)
  if(NOT DEFINED ${name})
    message(FATAL_ERROR "run_fuzzer.cmake needs -D${name}=...")
  endif()
endforeach()

if(NOT EXISTS "${FUZZER}")
  message(FATAL_ERROR "${FUZZER} is missing: build the fuzz preset first "
                      "(cmake --preset fuzz && cmake --build --preset fuzz)")
endif()

file(REMOVE_RECURSE "${WORK}")
file(MAKE_DIRECTORY "${WORK}/corpus")
file(GLOB seeds "${SEEDS}/*")
if(seeds)
  file(COPY ${seeds} DESTINATION "${WORK}/corpus")
endif()

set(ENV{UBSAN_OPTIONS} "print_stacktrace=1:halt_on_error=1")
execute_process(
  COMMAND "${FUZZER}" -max_total_time=${SECONDS} -timeout=10 -rss_limit_mb=2048
          -print_final_stats=1 "-artifact_prefix=${WORK}/" "${WORK}/corpus"
  RESULT_VARIABLE result)

if(NOT result STREQUAL "0")
  file(GLOB found "${WORK}/crash-*" "${WORK}/leak-*" "${WORK}/timeout-*" "${WORK}/oom-*"
       "${WORK}/slow-unit-*")
  string(REPLACE ";" "\n  " found "${found}")
  message(FATAL_ERROR "${FUZZER} failed (${result}); the input that shows it:\n  ${found}\n"
                      "Run it again with: ${FUZZER} <input>")
endif()
file(REMOVE_RECURSE "${WORK}")
