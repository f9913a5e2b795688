# The photo dialog of the earlier build: the captured position is scaled by
# the easting, its point deleted as soon as it is read and the photo's object
# made active again ("erfassen" stays for another try); a changed active
# object stops "Foto übernehmen", and an object that cannot be activated
# again after a capture ends the dialog with its own message. Fotos,
# Objektphotos and KTPhotos are read back after each step.
plugin VD1TransAction
new-project ${TEMP}/p
let DB "${PROJECT}KTProjekt.db"
let CAM "${TEMP}/kamera"
let FOTOS "select FotoID, Kurzname, RW, HW, Blickrichtung, IsNew, PicFileName from Fotos order by FotoID"
exec /bin/mkdir "${CAM}"
exec ${BIN}/mkjpeg "${CAM}/DSC0001.jpg" 64 48 1
answer message OK "Transaktionsliste nicht gefunden!"
create NSG area 0 0 100 0 100 100 as NSG-1
answer message OK "Transaktionsliste nicht gefunden!"
create BIO area 200 0 300 0 300 100 as BIO-1
activate NSG-1

# Two captures in one opening: an easting below 39999 is multiplied by 100,
# the northing with it; a Gauss-Krüger easting keeps its scale. The point
# is gone after each, and NSG-1 is active again.
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetFoto
answer file "${CAM}/DSC0001.jpg"
answer click BtnGetCoordinate
wait 20
expect creation placing
place 34000 58000.5
wait 20
expect missing TempObj1
expect active NSG-1
expect objects 2
answer form TFormEditFoto
answer click BtnGetCoordinate
wait 20
place 3400000.5 5800001.5
wait 20
expect missing TempObj1
answer form TFormEditFoto
answer type eKurzname "Quelle am Hang"
answer click BtnOK
wait 20
exec /usr/bin/cmp "${CAM}/DSC0001.jpg" "${PROJECT}KTPhotos/KTFoto1.jpg"
exec /usr/bin/sqlite3 "${DB}" "${FOTOS}"
expect output "-1|Quelle am Hang|3400000|5800002||3|KTFoto1.jpg\n"
exec /usr/bin/sqlite3 "${DB}" "select KARTULID, PhotoID from Objektphotos"
expect output "1|-1\n"

# The coordinate fields take every whole number of up to seven digits: an
# easting of the Gauss-Krüger strips 4 and 5 and a northing from 6000000 on
# are stored. A longer value, or one that is no whole number, is refused
# with what is wrong, and nothing is stored.
first Objektphotos
run ProcessFoto
answer form TFormEditFoto
answer type seRWert "4512345"
answer type seHWert "12345678"
answer click BtnOK
answer message OK "Der Hochwert muss eine ganze Zahl mit höchstens 7 Stellen sein: \"12345678\""
answer type seHWert "6000000"
answer type seRWert "45123,5"
answer click BtnOK
answer message OK "Der Rechtswert muss eine ganze Zahl mit höchstens 7 Stellen sein: \"45123,5\""
answer type seRWert "5512345"
answer click BtnOK
wait 20
exec /usr/bin/sqlite3 "${DB}" "select RW, HW from Fotos"
expect output "5512345|6000000\n"

# Another object made active while the dialog is open: nothing is stored.
run ProcessFoto
activate BIO-1
answer form TFormEditFoto
answer type eKurzname "anders"
answer click BtnOK
answer message OK "Das aktive Objekt hat gewechselt!"
wait 20
exec /usr/bin/sqlite3 "${DB}" "select Kurzname from Fotos"
expect output "Quelle am Hang\n"

# The photo's object gone while its point is placed: the point is read and
# deleted, the object cannot be activated again, the dialog ends.
answer message OK "Transaktionsliste nicht gefunden!"
create ND point 500 500 as ND-1
run ProcessFoto
answer form TFormEditFoto
answer click BtnGetCoordinate
wait 20
delete ND-1
answer message OK "Das bearbeitete Objekt konnte nicht aktiviert werden!"
place 10 10
wait 20
expect message error "Das bearbeitete Objekt konnte nicht aktiviert werden!"
expect missing TempObj1
expect objects 2
exec /usr/bin/sqlite3 "${DB}" "select count(*) from Fotos"
expect output "1\n"
exec /bin/ls "${PROJECT}KTPhotos"
expect output "KTFoto1.jpg\n"

# "Abbrechen" closes, and the photo command works again.
activate NSG-1
run ProcessFoto
expect form TFormEditFoto
answer form TFormEditFoto
answer click btnCancel
wait 20
run ProcessFoto
expect form TFormEditFoto
answer form TFormEditFoto
answer click btnCancel
wait 20
