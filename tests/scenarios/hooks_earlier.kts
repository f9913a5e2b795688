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

# The main photo: a true value clears the flag on the object's other link
# rows, which the plug-in walks through the host's cursor.
let DB "${PROJECT}KTProjekt.db"
append Objektphotos
set Objektphotos PhotoID 17
set Objektphotos Hauptphoto WAHR
post Objektphotos
append Objektphotos
set Objektphotos PhotoID 18
set Objektphotos Hauptphoto WAHR
post Objektphotos
exec /usr/bin/sqlite3 "${DB}" "select PhotoID, Hauptphoto from Objektphotos order by PKEY"
expect output "17|0\n18|1\n"
