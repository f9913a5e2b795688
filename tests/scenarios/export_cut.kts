# An export cut short, and the next one. A package reaches its folder whole
# or is told incomplete: what an export killed while it moved the package
# in leaves (the .tid gone, the staging folder with part of the next
# package beside it, a temporary file) is refused by the check-in stand-in,
# and the next export into the folder says so, removes the leftovers and
# writes the package whole. The same for package files without their .tid
# alone. Files of other packages in the folder stay.
plugin VD1TransAction2010
include lib/checkout.kts
let OUT "${TEMP}/aus"
let SERVER "${TEMP}/server"
let PROBE "${BIN}/checkin -l -s ${SERVER} -u karla -p geheim -D nrw -d ${OUT} -n PAKET"
exec /bin/mkdir -p "${OUT}" "${SERVER}"
exec /bin/sh -c "printf '[Nutzer]\r\nkarla=geheim\r\n[Datenbanken]\r\nnrw=1\r\n' > '${SERVER}/checkin.ini'"
activate DE-4509-301
set linfos NAME "Ruhrhänge Süd"
post linfos
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/PAKET"
run VD1CustomExport
exec ${PROBE}
exec /bin/sh -c "printf 'fremd' > '${OUT}/ANDERS.tid'"

# The cut: the earlier .tid already gone, part of the next package staged.
exec /bin/mkdir "${OUT}/PAKET_Export.tmp"
exec /bin/cp "${OUT}/PAKET.xml" "${OUT}/PAKET_Export.tmp/PAKET.xml"
exec /bin/rm "${OUT}/PAKET.tid"
exec /bin/sh -c "printf 'halb' > '${OUT}/PAKET_rp.txt.Xy12Ab'"
fails exec ${PROBE}
exec /usr/bin/python3 ${HERE}/checkin_log.py "${OUT}/PAKET.log" 1 0 "Datei PAKET.tid: fehlt"

answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/PAKET"
answer message OK "Im Ordner ${TEMP}/aus liegt ein unvollständiges Paket \"PAKET\": ein Export dorthin wurde abgebrochen (der Ordner PAKET_Export.tmp ist noch da).\r\rDie Reste werden entfernt, das Paket wird neu geschrieben."
run VD1CustomExport
expect hook VD1CustomExport true
expect message information "Im Ordner ${TEMP}/aus liegt ein unvollständiges Paket \"PAKET\": ein Export dorthin wurde abgebrochen (der Ordner PAKET_Export.tmp ist noch da).\r\rDie Reste werden entfernt, das Paket wird neu geschrieben."
exec /bin/ls "${OUT}"
expect output "ANDERS.tid\nPAKET.dbf\nPAKET.log\nPAKET.shp\nPAKET.shx\nPAKET.tid\nPAKET.xml\nPAKET_Fotos\nPAKET_aktion.dbf\nPAKET_rp.txt\nPAKETpc.dbf\nPAKETpc.dbt\n"
exec ${PROBE}

# Package files without their .tid, as a cut between the moves leaves them.
exec /bin/rm "${OUT}/PAKET.tid"
fails exec ${PROBE}
answer message Yes
answer form TFormGetTID
answer select lbTID "4711 - Ruhraue bei Hattingen"
answer click BtnOK
answer file "${OUT}/PAKET"
answer message OK "Im Ordner ${TEMP}/aus liegt ein unvollständiges Paket \"PAKET\": die Datei PAKET.tid fehlt, die ein Paket als letzte bekommt (PAKET_rp.txt ist da).\r\rDie Reste werden entfernt, das Paket wird neu geschrieben."
run VD1CustomExport
expect file "${OUT}/PAKET.tid" exists
expect file "${OUT}/ANDERS.tid" contains "fremd"
exec ${PROBE}
