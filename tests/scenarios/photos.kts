# The life of a photo in the project: the catalogue and the picture folder at
# load, the main photo of an object, the clean-up when links go, and the
# photo command's task until the project closes. The project database is read
# with the sqlite3 program.
plugin VD1TransAction2010
new-project ${TEMP}/p
let DB "${PROJECT}KTProjekt.db"
expect file ${PROJECT}KTPhotos exists
exec /usr/bin/sqlite3 "${DB}" "select sql from sqlite_schema where name = 'Fotos'"
expect output "CREATE TABLE \"Fotos\" (\"FotoID\" INTEGER, \"Kurzname\" TEXT(50) CHECK (length(\"Kurzname\") <= 50), \"RW\" INTEGER, \"HW\" INTEGER, \"Blickrichtung\" INTEGER, \"Aufnahmedatum\" DATE, \"Quelle\" TEXT(255) CHECK (length(\"Quelle\") <= 255), \"IsNew\" INTEGER, \"PicFileName\" TEXT(50) CHECK (length(\"PicFileName\") <= 50), \"Bildbeschreibung\" TEXT)\n"

# Photos as an import and the photo dialog leave them: one from the central
# system, two taken in locally, their files in the picture folder.
exec /usr/bin/sqlite3 "${DB}" "insert into Fotos (FotoID, Kurzname, IsNew, PicFileName) values (17, 'Eiche', 2, 'zentral17.jpg'), (-1, 'Tümpel', 3, 'KTFoto1.jpg'), (-2, 'Hecke', 3, 'KTFoto2.jpg')"
exec /bin/sh -c "for f in zentral17 KTFoto1 KTFoto2; do printf JPEG > '${PROJECT}KTPhotos/'$f.jpg; done"

# A second load changes nothing.
close
open ${TEMP}/p
exec /usr/bin/sqlite3 "${DB}" "select count(*) from sqlite_schema where name like 'fotos'"
expect output "1\n"
exec /usr/bin/sqlite3 "${DB}" "select FotoID from Fotos order by FotoID"
expect output "-2\n-1\n17\n"

answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create NSG area 0 0 100 0 100 100 as NSG-1
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create BIO area 200 0 300 0 300 100 as BIO-1
activate NSG-1
append Objektphotos
set Objektphotos PhotoID 17
post Objektphotos
append Objektphotos
set Objektphotos PhotoID -1
post Objektphotos
append Objektphotos
set Objektphotos PhotoID -2
post Objektphotos
activate BIO-1
append Objektphotos
set Objektphotos PhotoID -2
post Objektphotos
activate NSG-1

# One main photo: a true value (T, t, W, w as in TRUE or WAHR) clears the
# flag on the other rows; a false or empty one changes nothing. (The host
# keeps the flag as 1 or 0, empty as null.)
first Objektphotos
set Objektphotos Hauptphoto WAHR
post Objektphotos
next Objektphotos
set Objektphotos Hauptphoto F
post Objektphotos
exec /usr/bin/sqlite3 "${DB}" "select coalesce(Hauptphoto, '-') from Objektphotos where KARTULID = 1 order by PKEY"
expect output "1\n0\n0\n"
set Objektphotos Hauptphoto ""
post Objektphotos
exec /usr/bin/sqlite3 "${DB}" "select coalesce(Hauptphoto, '-') from Objektphotos where KARTULID = 1 order by PKEY"
expect output "1\n-\n0\n"
set Objektphotos Hauptphoto t
expect value Objektphotos PhotoID -1
post Objektphotos
exec /usr/bin/sqlite3 "${DB}" "select coalesce(Hauptphoto, '-') from Objektphotos where KARTULID = 1 order by PKEY"
expect output "0\n1\n0\n"
next Objektphotos
set Objektphotos Hauptphoto W
post Objektphotos
exec /usr/bin/sqlite3 "${DB}" "select coalesce(Hauptphoto, '-') from Objektphotos where KARTULID = 1 order by PKEY"
expect output "0\n0\n1\n"
first Objektphotos
set Objektphotos Hauptphoto w
post Objektphotos
exec /usr/bin/sqlite3 "${DB}" "select coalesce(Hauptphoto, '-') from Objektphotos where KARTULID = 1 order by PKEY"
expect output "1\n0\n0\n"
# On a row not saved yet: the row is saved, so the rule finds it again.
append Objektphotos
set Objektphotos Hauptphoto T
post Objektphotos
exec /usr/bin/sqlite3 "${DB}" "select coalesce(Hauptphoto, '-') from Objektphotos where KARTULID = 1 order by PKEY"
expect output "0\n0\n0\n1\n"
delete-row Objektphotos

# The photo command opens the dialog on the current row's photo; the task
# runs while the mapper works on, and a second command does nothing.
first Objektphotos
run ProcessFoto
expect form TFormEditFoto
run ProcessFoto
answer form TFormEditFoto
answer click btnCancel
wait 200

# Links go: of the central photo, its row and file stay; of a local photo
# with its last link, both go; of one linked twice, both stay.
first Objektphotos
delete-row Objektphotos
exec /usr/bin/sqlite3 "${DB}" "select FotoID from Fotos order by FotoID"
expect output "-2\n-1\n17\n"
expect file ${PROJECT}KTPhotos/zentral17.jpg exists
first Objektphotos
delete-row Objektphotos
exec /usr/bin/sqlite3 "${DB}" "select FotoID from Fotos order by FotoID"
expect output "-2\n17\n"
expect file ${PROJECT}KTPhotos/KTFoto1.jpg missing
first Objektphotos
delete-row Objektphotos
exec /usr/bin/sqlite3 "${DB}" "select FotoID from Fotos order by FotoID"
expect output "-2\n17\n"
expect file ${PROJECT}KTPhotos/KTFoto2.jpg exists
activate BIO-1
first Objektphotos
delete-row Objektphotos
exec /usr/bin/sqlite3 "${DB}" "select FotoID from Fotos order by FotoID"
expect output "17\n"
expect file ${PROJECT}KTPhotos/KTFoto2.jpg missing

# The project closes with a photo task open: the task ends with it.
append Objektphotos
set Objektphotos PhotoID 17
post Objektphotos
run ProcessFoto
expect form TFormEditFoto
close
open ${TEMP}/p
activate BIO-1
run ProcessFoto
expect form TFormEditFoto
answer form TFormEditFoto
answer click btnCancel
wait 200
