# A hook's exception is a fault of the plug-in, never the failure a line
# expects.
# exit: 1
# message: the hook Throw raised an error: thrown by the test plug-in
plugin ${BIN}/kartul_testplugin.so
new-project ${TEMP}/p
fails run Throw
echo never reached
