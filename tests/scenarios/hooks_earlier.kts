# The earlier build: no plant-list hook, no coordinate commands.
plugin VD1TransAction
new-project ${TEMP}/p
create PFL point 1 1
append Pflanzenliste
set Pflanzenliste Status e
expect hooks AfterKARTULCommand
post Pflanzenliste
expect hooks OnTablePost AfterKARTULCommand
fails run SetETRS89
run MakeTransActionReport
expect hook MakeTransActionReport
