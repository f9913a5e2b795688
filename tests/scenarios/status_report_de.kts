# Status, selection by status, the check report, coordinate attributes and
# the lifecycle journal, in a German locale. Messages and the report are
# compared with stored expected files (golden/).
plugin VD1TransAction2010
include lib/checkout.kts
let GOLDEN "/usr/bin/python3 ${HERE}/golden.py"

include lib/status_objects.kts
activate DE-4509-301
set linfos NAME "Ruhrhänge Süd"
post linfos

# The status of an object of each status, and of one outside the list.
answer message OK
activate NSG-0815
run ShowObjStatus
answer message OK
activate DE-4509-301
run ShowObjStatus
answer message OK
activate NSG-0816
run ShowObjStatus
answer message OK
activate ND-0042
run ShowObjStatus
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create BIO point 7 7 as BIO-frei
answer message OK
run ShowObjStatus
delete BIO-frei
answer message OK
run ShowObjStatus
exec ${GOLDEN} messages ${TEMP}/transcript.txt ${HERE}/golden/status_messages.txt

# Selecting "neu" takes the new objects of both transactions; the chooser
# opens on the last choice next time.
answer form TformGetStatus
answer select RadioGroup1 "neu"
answer click BtnWeiter
run SelectByStatus
expect selection NSG-0816 ND-0051
answer form TformGetStatus
answer click btnCancel
run SelectByStatus
expect form TformGetStatus
expect selection NSG-0816 ND-0051

# The report: saved, compared, and not overwritten when the mapper says No.
answer form TFormTransActionReport
answer click BtnShowReport
answer form TFormPrintReport
answer click btnSave
answer file "${TEMP}/Bericht.txt"
answer click btnClose
answer click BtnClose
run MakeTransActionReport
exec ${GOLDEN} report ${TEMP}/Bericht.txt ${HERE}/golden/report.txt
answer form TFormTransActionReport
answer click BtnShowReport
answer form TFormPrintReport
answer click btnSave
answer file "${TEMP}/Bericht.txt"
answer message No "Die Ausgabedatei existiert bereits. Überschreiben?"
answer click btnClose
answer click BtnClose
exec /bin/sh -c "echo alt > ${TEMP}/Bericht.txt"
run MakeTransActionReport
expect file ${TEMP}/Bericht.txt contains "alt"
expect file ${PROJECT}KTProjekt.ktp contains "ReportFileName=${TEMP}/Bericht.txt"

# Coordinates and area in "linfos", with the German decimal comma.
activate NSG-0816
run SetGaussKrueger
expect value linfos GK_RW 35
run SetETRS89
expect value linfos UTM_East 35
expect value linfos UTM_North 35
paste DE-4509-301 NSG-0816
expect value linfos FLAECHE 2500
exec ${BIN}/dbsql "${TA}" "select CHANGED from TA_LIST where KENNUNG = 'NSG-0816'"
expect output "NEW\n"
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create BIO area 0 0 2.5 0 2.5 1 0 1 as BIO-klein
paste DE-4509-301 BIO-klein
activate BIO-klein
expect value linfos FLAECHE 2,5

# The lifecycle journal: made at the first load, left alone afterwards.
exec /usr/bin/sqlite3 ${PROJECT}KTProjekt.db "insert into KT_SYS_LIFECYCLE (KENNUNG, OKL) values ('NSG-0816', 1001)"
close
open ${TEMP}/projekt
exec /usr/bin/sqlite3 ${PROJECT}KTProjekt.db "select KENNUNG, OKL from KT_SYS_LIFECYCLE"
expect output "NSG-0816|1001\n"
