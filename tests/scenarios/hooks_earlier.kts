# The earlier build: no plant-list hook, no coordinate commands.
plugin VD1TransAction
new-project ${TEMP}/p
# Without the transaction table the plug-in leaves the identifier to the host.
answer message OK "Transaktionsliste nicht gefunden!"
create PFL point 1 1
append Pflanzenliste
set Pflanzenliste Status e
expect hooks AfterKARTULCommand
post Pflanzenliste
expect hooks OnTablePost AfterKARTULCommand
fails run SetETRS89
answer message OK "Das Projekt enthält keine Transaktionsdaten. Daher kann kein Prüfbericht erstellt werden!"
run MakeTransActionReport
expect hook MakeTransActionReport false
