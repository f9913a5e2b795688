# A hook that lets an exception out into the host fails the scenario at that
# line, naming the hook and the error.
# exit: 1
# message: hook_throws.kts:8: error: the hook Throw raised an error: thrown by the test plug-in
plugin ${BIN}/kartul_testplugin.so
new-project ${TEMP}/p
create ND point 1 1
run Throw
echo never reached
