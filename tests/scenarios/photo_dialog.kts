# The photo dialog of the full build as a mapper uses it: photos taken in
# from outside the project, a local picture replaced, a central photo opened
# read-only, the position captured on the map and a capture abandoned, the
# viewing direction at its boundaries, "Keine Koordinaten" and "unbekannt",
# the active object changing while the dialog is open, pictures that are no
# pictures, a picture swapped after it was chosen, and the project closed
# with the dialog open. After each step the
# catalogue Fotos, the links Objektphotos and the folder KTPhotos are read
# back. Every picture is written here by mkjpeg (libjpeg).
plugin VD1TransAction2010
new-project ${TEMP}/p
let DB "${PROJECT}KTProjekt.db"
let CAM "${TEMP}/kamera"
let FOTOS "select FotoID, Kurzname, RW, HW, Blickrichtung, IsNew, PicFileName from Fotos order by FotoID"
let LINKS "select KARTULID, PhotoID from Objektphotos order by PKEY"
exec /bin/mkdir "${CAM}"
exec ${BIN}/mkjpeg "${CAM}/DSC0001.jpg" 64 48 1
exec ${BIN}/mkjpeg "${CAM}/DSC0002.jpg" 80 60 2
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create NSG area 0 0 100 0 100 100 as NSG-1
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create BIO area 200 0 300 0 300 100 as BIO-1
activate NSG-1

# A photo from outside the project becomes KTFoto1.jpg, a new local photo
# linked from a new row. Without a picture it is refused first.
run ProcessFoto
expect form TFormEditFoto
answer form TFormEditFoto
answer click BtnOK
answer message OK "Die Eingabedaten sind nicht vollständig!"
answer click BtnGetFoto
answer file "${CAM}/DSC0001.jpg"
answer type eKurzname "Tümpel"
answer type eQuelle "Kartierung 2026"
answer click BtnOK
wait 20
expect message warning "Die Eingabedaten sind nicht vollständig!"
exec /usr/bin/cmp "${CAM}/DSC0001.jpg" "${PROJECT}KTPhotos/KTFoto1.jpg"
exec /usr/bin/sqlite3 "${DB}" "${FOTOS}"
expect output "-1|Tümpel||||3|KTFoto1.jpg\n"
exec /usr/bin/sqlite3 "${DB}" "${LINKS}"
expect output "1|-1\n"
exec /usr/bin/sqlite3 "${DB}" "select Quelle, date(Aufnahmedatum) = date('now', 'localtime') from Fotos"
expect output "Kartierung 2026|1\n"

# With KTFoto1.jpg and KTFoto2.jpg in the folder the next one is KTFoto3.jpg;
# a second photo command while the dialog is open does nothing.
exec ${BIN}/mkjpeg "${PROJECT}KTPhotos/KTFoto2.jpg" 8 8
activate BIO-1
run ProcessFoto
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetFoto
answer file "${CAM}/DSC0002.jpg"
answer click BtnOK
wait 20
exec /usr/bin/cmp "${CAM}/DSC0002.jpg" "${PROJECT}KTPhotos/KTFoto3.jpg"
exec /usr/bin/sqlite3 "${DB}" "${FOTOS}"
expect output "-2|||||3|KTFoto3.jpg\n-1|Tümpel||||3|KTFoto1.jpg\n"
exec /usr/bin/sqlite3 "${DB}" "${LINKS}"
expect output "1|-1\n2|-2\n"

# The picture of a local photo is replaced under its stored name; the
# dialog opens on the current link row.
activate NSG-1
first Objektphotos
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetFoto
answer file "${CAM}/DSC0002.jpg"
answer click BtnOK
wait 20
exec /usr/bin/cmp "${CAM}/DSC0002.jpg" "${PROJECT}KTPhotos/KTFoto1.jpg"
exec /bin/ls "${PROJECT}KTPhotos"
expect output "KTFoto1.jpg\nKTFoto2.jpg\nKTFoto3.jpg\n"
exec /usr/bin/sqlite3 "${DB}" "${FOTOS}"
expect output "-2|||||3|KTFoto3.jpg\n-1|Tümpel||||3|KTFoto1.jpg\n"

# Pictures that are no pictures, and one from the picture folder: each is
# told, and the earlier picture stays.
exec ${BIN}/mkjpeg "${CAM}/kurz.jpg" cut 64 48
exec /usr/bin/touch "${CAM}/leer.jpg"
exec ${BIN}/mkjpeg "${CAM}/bild.jpg" png
exec ${BIN}/mkjpeg "${CAM}/riesig.jpg" claim 20000 20000
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetFoto
answer file "${CAM}/kurz.jpg"
answer message OK "Die Bilddatei \"${CAM}/kurz.jpg\" ist unvollständig: sie endet mitten im Bild."
answer click BtnGetFoto
answer file "${CAM}/leer.jpg"
answer message OK "Die Bilddatei \"${CAM}/leer.jpg\" ist leer."
answer click BtnGetFoto
answer file "${CAM}/bild.jpg"
answer message OK "Die Bilddatei \"${CAM}/bild.jpg\" ist kein JPEG-Bild."
answer click BtnGetFoto
answer file "${CAM}/riesig.jpg"
answer message OK "Die Bilddatei \"${CAM}/riesig.jpg\" ist mit 20000 x 20000 Bildpunkten zu groß; es werden Bilder bis 100 Millionen Bildpunkte angezeigt."
answer click BtnGetFoto
answer file "${PROJECT}KTPhotos/KTFoto2.jpg"
answer message OK "Es können nur Fotos eingestellt werden, die sich außerhalb des Projekts befinden!"
answer click BtnOK
wait 20
exec /usr/bin/cmp "${CAM}/DSC0002.jpg" "${PROJECT}KTPhotos/KTFoto1.jpg"
exec /usr/bin/sqlite3 "${DB}" "${FOTOS}"
expect output "-2|||||3|KTFoto3.jpg\n-1|Tümpel||||3|KTFoto1.jpg\n"

# The picture stored is the picture checked: a file chosen and then swapped
# in the folder for a link to another picture is refused when the photo is
# taken over, and the stored picture stays; chosen again, the link is
# refused as a link. A FIFO is no picture file, and choosing one never
# hangs the dialog.
exec /bin/cp "${CAM}/DSC0001.jpg" "${CAM}/tausch.jpg"
exec /usr/bin/mkfifo "${CAM}/rohr.jpg"
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetFoto
answer file "${CAM}/tausch.jpg"
wait 20
exec /bin/ln -sf "${CAM}/DSC0002.jpg" "${CAM}/tausch.jpg"
answer form TFormEditFoto
answer click BtnOK
answer message OK "Die Bilddatei \"${CAM}/tausch.jpg\" wurde ersetzt oder verändert, seit sie ausgewählt wurde, und wird nicht übernommen. Bitte wählen Sie das Bild erneut aus. Das Foto wurde nicht gespeichert."
answer click BtnGetFoto
answer file "${CAM}/tausch.jpg"
answer message OK "Die Datei \"${CAM}/tausch.jpg\" ist eine Verknüpfung. Es werden nur Bilddateien selbst übernommen; bitte wählen Sie die Datei, auf die sie zeigt."
answer click BtnGetFoto
answer file "${CAM}/rohr.jpg"
answer message OK "Die Datei \"${CAM}/rohr.jpg\" ist keine gewöhnliche Datei und wird nicht übernommen."
answer click btnCancel
wait 20
expect message error "Die Bilddatei \"${CAM}/tausch.jpg\" wurde ersetzt oder verändert, seit sie ausgewählt wurde, und wird nicht übernommen. Bitte wählen Sie das Bild erneut aus. Das Foto wurde nicht gespeichert."
exec /usr/bin/cmp "${CAM}/DSC0002.jpg" "${PROJECT}KTPhotos/KTFoto1.jpg"
exec /bin/ls "${PROJECT}KTPhotos"
expect output "KTFoto1.jpg\nKTFoto2.jpg\nKTFoto3.jpg\n"
exec /usr/bin/sqlite3 "${DB}" "${FOTOS}"
expect output "-2|||||3|KTFoto3.jpg\n-1|Tümpel||||3|KTFoto1.jpg\n"

# A photo of the central system opens read-only: nothing it does is stored.
exec /usr/bin/sqlite3 "${DB}" "insert into Fotos (FotoID, Kurzname, RW, HW, Blickrichtung, IsNew, PicFileName) values (17, 'Eiche', 3400000, 5800000, 90, 2, 'zentral17.jpg')"
exec ${BIN}/mkjpeg "${PROJECT}KTPhotos/zentral17.jpg" 30 20
append Objektphotos
set Objektphotos PhotoID 17
post Objektphotos
run ProcessFoto
answer form TFormEditFoto
answer type eKurzname "Buche"
answer click btnCancel
wait 20
exec /usr/bin/sqlite3 "${DB}" "select FotoID, Kurzname, RW, HW, Blickrichtung, IsNew, PicFileName from Fotos where FotoID = 17"
expect output "17|Eiche|3400000|5800000|90|2|zentral17.jpg\n"
exec /usr/bin/sqlite3 "${DB}" "${LINKS}"
expect output "1|-1\n2|-2\n1|17\n"

# The position captured on the map: the temporary point is placed through
# the host, read by the timer, and stays until "Foto übernehmen" removes it.
first Objektphotos
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetCoordinate
wait 20
expect creation placing
expect view map
place 3400000.5 5800000.5
expect exists TempObj1
wait 20
expect creation idle
expect view data
expect timers 1
expect exists TempObj1
answer form TFormEditFoto
answer click BtnOK
wait 20
expect missing TempObj1
expect active NSG-1
expect objects 2
expect timers 0
exec /usr/bin/sqlite3 "${DB}" "${FOTOS}"
expect output "-2|||||3|KTFoto3.jpg\n-1|Tümpel|3400000|5800000||3|KTFoto1.jpg\n17|Eiche|3400000|5800000|90|2|zentral17.jpg\n"

# An abandoned capture changes nothing; a second capture after it is taken
# and removed by "Abbrechen", which stores nothing.
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetCoordinate
wait 20
abandon
wait 20
expect creation idle
expect objects 2
answer form TFormEditFoto
answer click BtnGetCoordinate
wait 20
place 10 20
wait 20
expect exists TempObj1
answer form TFormEditFoto
answer click btnCancel
wait 20
expect missing TempObj1
expect objects 2
exec /usr/bin/sqlite3 "${DB}" "select RW, HW from Fotos where FotoID = -1"
expect output "3400000|5800000\n"

# "Keine Koordinaten" and the viewing direction: a chosen direction is its
# degrees, "unbekannt" and no coordinates are null.
run ProcessFoto
answer form TFormEditFoto
answer click cbNoCoordinates
answer click cbBlickrichtungUnbekannt
answer click rbNW
answer click BtnOK
wait 20
exec /usr/bin/sqlite3 "${DB}" "select coalesce(RW, '-'), coalesce(HW, '-'), Blickrichtung from Fotos where FotoID = -1"
expect output "-|-|315\n"
run ProcessFoto
answer form TFormEditFoto
answer click cbBlickrichtungUnbekannt
answer click BtnOK
wait 20
exec /usr/bin/sqlite3 "${DB}" "select coalesce(Blickrichtung, '-') from Fotos where FotoID = -1"
expect output "-\n"

# Stored directions at the boundaries, saved back as the dialog shows them:
# 350 is N (0), 22 is NE (45), 381 is N, 400 and -1 are unknown (null).
exec /usr/bin/sqlite3 "${DB}" "insert into Fotos (FotoID, IsNew, PicFileName, Blickrichtung) values (-10, 3, 'KTFoto2.jpg', 350), (-11, 3, 'KTFoto2.jpg', 22), (-12, 3, 'KTFoto2.jpg', 381), (-13, 3, 'KTFoto2.jpg', 400), (-14, 3, 'KTFoto2.jpg', -1)"
activate BIO-1
append Objektphotos
set Objektphotos PhotoID -10
post Objektphotos
run ProcessFoto
answer form TFormEditFoto
answer type dtpDate "04.05.2026"
answer click BtnOK
wait 20
set Objektphotos PhotoID -11
post Objektphotos
run ProcessFoto
answer form TFormEditFoto
answer click BtnOK
wait 20
set Objektphotos PhotoID -12
post Objektphotos
run ProcessFoto
answer form TFormEditFoto
answer click BtnOK
wait 20
set Objektphotos PhotoID -13
post Objektphotos
run ProcessFoto
answer form TFormEditFoto
answer click BtnOK
wait 20
set Objektphotos PhotoID -14
post Objektphotos
run ProcessFoto
answer form TFormEditFoto
answer click BtnOK
wait 20
exec /usr/bin/sqlite3 "${DB}" "select FotoID, coalesce(Blickrichtung, '-') from Fotos where FotoID <= -10 order by FotoID desc"
expect output "-10|0\n-11|45\n-12|0\n-13|-\n-14|-\n"

# Those rows had no date: the dialog showed none and stored none, but for
# the one the mapper entered.
expect file ${TEMP}/transcript.txt contains "  dtpDate date none"
exec /usr/bin/sqlite3 "${DB}" "select FotoID, coalesce(date(Aufnahmedatum), '-') from Fotos where FotoID <= -10 order by FotoID desc"
expect output "-10|2026-05-04\n-11|-\n-12|-\n-13|-\n-14|-\n"

# Coordinates that are no whole numbers are refused with what is wrong.
run ProcessFoto
answer form TFormEditFoto
answer click cbNoCoordinates
answer type seRWert "3400000,5"
answer type seHWert "5800000"
answer click BtnOK
answer message OK "Der Rechtswert muss eine ganze Zahl sein: \"3400000,5\""
answer type seRWert "3400001"
answer type seHWert "99999999999"
answer click BtnOK
answer message OK "Der Hochwert ist zu groß: \"99999999999\""
answer type seHWert "5800000"
answer type seRWert "3400001"
answer click BtnOK
wait 20
exec /usr/bin/sqlite3 "${DB}" "select RW, HW from Fotos where FotoID = -14"
expect output "3400001|5800000\n"

# The active object changes while the dialog is open: the photo still goes
# to the object the task began on, which is active again afterwards.
activate NSG-1
first Objektphotos
run ProcessFoto
activate BIO-1
answer form TFormEditFoto
answer type eKurzname "Tümpel am Moor"
answer click BtnOK
wait 20
expect active NSG-1
exec /usr/bin/sqlite3 "${DB}" "select Kurzname from Fotos where FotoID = -1"
expect output "Tümpel am Moor\n"

# The task's object is deleted while the dialog is open: nothing is stored.
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create ND point 500 500 as ND-1
append Objektphotos
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetFoto
answer file "${CAM}/DSC0001.jpg"
wait 20
delete ND-1
answer form TFormEditFoto
answer click BtnOK
answer message OK "Das aktive Objekt hat gewechselt!"
wait 20
exec /usr/bin/sqlite3 "${DB}" "select count(*) from Fotos"
expect output "8\n"
exec /bin/ls "${PROJECT}KTPhotos"
expect output "KTFoto1.jpg\nKTFoto2.jpg\nKTFoto3.jpg\nzentral17.jpg\n"

# Closed through its frame, the dialog takes its point with it.
activate NSG-1
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetCoordinate
wait 20
place 30 40
wait 20
expect exists TempObj1
answer form TFormEditFoto
answer close
wait 20
expect missing TempObj1

# The project closes with the dialog open and a point placed: the point
# does not stay in the project, and the photo command works after it.
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetCoordinate
wait 20
place 30 40
wait 20
expect exists TempObj1
close
open ${TEMP}/p
expect missing TempObj1
expect objects 2
activate NSG-1
run ProcessFoto
expect form TFormEditFoto
answer form TFormEditFoto
answer click btnCancel
wait 20

# A new photo's id lies below the first row of the catalogue in the order
# of its key, the lowest id (-14), whatever order the rows were written in
# (-1 first, -14 last).
append Objektphotos
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetFoto
answer file "${CAM}/DSC0001.jpg"
answer click BtnOK
wait 20
exec /usr/bin/sqlite3 "${DB}" "select FotoID, PicFileName from Fotos where FotoID < -14"
expect output "-15|KTFoto4.jpg\n"
exec /usr/bin/sqlite3 "${DB}" "${LINKS}"
expect output "1|-1\n2|-2\n1|17\n2|-14\n1|-15\n"
