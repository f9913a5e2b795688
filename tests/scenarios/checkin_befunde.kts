# The findings of a check-in on the objects: with applicat.ini's
# VANDRA/CheckInBefunde set, a run whose log names objects offers them for
# selection. The package loses two objects' attributes on the way (the
# program chosen is a hand-over that takes them out of the attribute file
# before the check-in program sees the package), so the probe names them.
plugin VD1TransAction2010
include lib/checkout.kts
let SERVER "${TEMP}/server"
let OUT "${TEMP}/aus"
exec /bin/mkdir -p "${SERVER}" "${OUT}" "${TEMP}/verlust"
exec /bin/sh -c "printf '[Nutzer]\r\nkarla=geheim\r\n[Datenbanken]\r\nnrw=1\r\n' > '${SERVER}/checkin.ini'"
exec /bin/cp ${HERE}/lib/lossy_handover.sh ${TEMP}/verlust/Checkin.exe
exec /bin/ln -s ${BIN}/Checkin.exe ${TEMP}/verlust/echt
exec /bin/sh -c "echo xml DE-4509-301 NSG-0816 > '${TEMP}/verlust/verliert'"
config VANDRA AutoCheckIn 1
config VANDRA CheckInBefunde 1
activate DE-4509-301
set linfos NAME "Ruhrhänge Süd"
post linfos
answer form TFormGetTIDAndKennung
answer select lbTransActions "4711 - Ruhraue bei Hattingen"
answer select lbKennungen "NSG-0816"
answer click BtnOK
create NSG area 2575100 5695100 2575200 5695100 2575200 5695200

# The probe fails; the findings are listed, the mapper selects them all.
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/BEFUND"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword geheim
answer type EditDBServer "${SERVER}"
answer type EditDatabase nrw
answer type editProgrammpfad "${TEMP}/verlust/Checkin.exe"
answer click btnStart
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
answer message OK "Der Editor  konnte nicht gefunden werden!"
answer form TFormCheckInBefunde
answer click BtnSelektieren
run VD1CustomExport
expect form TFormCheckInBefunde
expect selection DE-4509-301 NSG-0816
exec /usr/bin/python3 ${HERE}/checkin_log.py "${OUT}/BEFUND.log" 2 0 "Objekt DE-4509-301" "Objekt NSG-0816"

# One finding chosen: only its object is selected.
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/BEFUND"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword geheim
answer click btnStart
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
answer message OK "Der Editor  konnte nicht gefunden werden!"
answer form TFormCheckInBefunde
answer select lbBefunde #1
answer click BtnSelektieren
run VD1CustomExport
expect selection NSG-0816

# A failure that names no object (a photo's picture lost) offers nothing.
exec /usr/bin/sqlite3 "${PROJECT}KTProjekt.db" "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (-1, 'Hang', 3, 'KTFoto1.jpg')"
exec ${BIN}/mkjpeg "${PROJECT}KTPhotos/KTFoto1.jpg" 16 16
append Objektphotos
set Objektphotos PhotoID -1
post Objektphotos
exec /bin/sh -c "echo fotos > '${TEMP}/verlust/verliert'"
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/BEFUND"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword geheim
answer click btnStart
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
answer message OK "Der Editor  konnte nicht gefunden werden!"
run VD1CustomExport
exec /usr/bin/python3 ${HERE}/checkin_log.py "${OUT}/BEFUND.log" 1 0 KTFoto1.jpg

# Turned off, objects named in the log are not offered.
exec /bin/sh -c "echo xml NSG-0816 > '${TEMP}/verlust/verliert'"
config VANDRA CheckInBefunde 0
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/BEFUND"
answer form TfrmVandraCheckIn
answer type EditUserName karla
answer type EditPassword geheim
answer click btnStart
answer message OK "Der Probe-Checkin war nicht erfolgreich!"
answer message OK "Der Editor  konnte nicht gefunden werden!"
run VD1CustomExport
exec /usr/bin/python3 ${HERE}/checkin_log.py "${OUT}/BEFUND.log" 1 0 "Objekt NSG-0816"
