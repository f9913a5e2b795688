# Runs a scenario that must fail: its header lines "# exit: N",
# "# message: <text>" and optionally "# args: <options>" and
# "# env: NAME=VALUE..." (the run's environment) say how.
# -DPROGRAM=<kartul-sim> -DSCENARIO=<file>
file(STRINGS ${SCENARIO} header REGEX "^# (exit|message|args|env): ")
set(want_exit 1)
set(want_message "")
set(args "")
set(env "")
foreach(line ${header})
  if(line MATCHES "^# exit: ([0-9]+)")
    set(want_exit ${CMAKE_MATCH_1})
  elseif(line MATCHES "^# message: (.*)$")
    set(want_message "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^# args: (.*)$")
    separate_arguments(args UNIX_COMMAND "${CMAKE_MATCH_1}")
  elseif(line MATCHES "^# env: (.*)$")
    separate_arguments(env UNIX_COMMAND "${CMAKE_MATCH_1}")
  endif()
endforeach()
execute_process(COMMAND ${CMAKE_COMMAND} -E env ${env} ${PROGRAM} ${args} ${SCENARIO}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc STREQUAL want_exit)
  message(FATAL_ERROR "exit status ${rc}, expected ${want_exit}\n${out}${err}")
endif()
string(FIND "${out}${err}" "${want_message}" at)
if(want_message STREQUAL "" OR at EQUAL -1)
  message(FATAL_ERROR "message \"${want_message}\" not shown\n${out}${err}")
endif()
