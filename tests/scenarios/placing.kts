# Placing and abandoning, with the test plug-in that starts a temporary point
# as the photo dialog does and polls for it with a 10 ms timer.
plugin ${BIN}/kartul_testplugin.so
new-project ${TEMP}/p
create ND point 10 10 as ND-1
run ProcessFoto
expect creation placing
expect timers 1
place 25 35
expect hooks BeforeCreateObject InsertInTransActionList AfterKARTULCommand
expect exists TempObj1
expect easting TempObj1 25
wait 20
expect creation idle
expect timers 0
run ProcessFoto
abandon
expect hooks AfterKARTULCommand
expect creation idle
wait 20
expect timers 0
fails abandon
fails place 1 1
