# Runs a scenario that stores settings (an export folder, a prefix) as a
# batch run with a home folder of its own and no KARTUL_REGISTRY: the run
# must pass and leave no settings file in that home.
# -DPROGRAM=<kartul-sim> -DSCENARIO=<file> -DHOME_DIR=<empty folder to use>
file(REMOVE_RECURSE ${HOME_DIR})
file(MAKE_DIRECTORY ${HOME_DIR})
set(ENV{HOME} ${HOME_DIR})
set(ENV{XDG_CONFIG_HOME} ${HOME_DIR}/.config)
unset(ENV{KARTUL_REGISTRY})
execute_process(COMMAND ${PROGRAM} --quiet ${SCENARIO}
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "exit status ${rc}\n${out}${err}")
endif()
file(GLOB_RECURSE left ${HOME_DIR}/*)
if(left)
  message(FATAL_ERROR "the run wrote into the user's folder: ${left}")
endif()
file(REMOVE_RECURSE ${HOME_DIR})
