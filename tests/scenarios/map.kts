# The status map after a mapper's day: the checkout as it came in, then a
# day of edits, each time the map written by kartul-sim's map command and
# read back with an XML reader (map_check.py): every object in the legend's
# colour of its status, the change marks, the transactions' names in the
# title, the deleted monument named beneath the map. The map program
# kartenbild draws the same map from outside, from the host's exports.
plugin VD1TransAction2010
include lib/checkout.kts
let CHECK "/usr/bin/python3 ${HERE}/map_check.py"

map ${TEMP}/morgen.svg
exec ${CHECK} expect ${TEMP}/morgen.svg objects=3 NSG-0815=lesend DE-4509-301=schreibend ND-0042=schreibend "title=Transaktionen 4711 - Ruhraue bei Hattingen; 4712 - Eifelwiesen"

# The day: the FFH area's boundary moved, a new FFH area from the pool, a
# path along the river outside any transaction, the fallen oak deleted.
move DE-4509-301 2 2575700 5695500
answer form TFormGetTIDAndKennung
answer select lbKennungen "DE-4509-311"
answer click BtnOK
create FFH area 2574000 5694000 2574300 5694000 2574300 5694200
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create WEG line 2574000 5694500 2576000 5695600 as WEG-Ruhrufer
delete ND-0042

# A relative name is taken in the project folder.
map karte.svg
expect file karte.svg exists
expect file karte.svg contains "<title>Transaktionen 4711 - Ruhraue bei Hattingen; 4712 - Eifelwiesen</title>"
exec ${CHECK} expect ${PROJECT}karte.svg objects=4 NSG-0815=lesend DE-4509-301=schreibend+ DE-4509-311=neu+ "WEG-Ruhrufer=ohne Transaktion" "note=Gelöscht, im Projekt nicht mehr vorhanden (1): ND-0042"

# The program beside kartul-sim draws the same from the host's exports of
# every object.
exec /bin/mkdir ${TEMP}/export
export-geodata ${TEMP}/export/objekte.shp all
export-xml ${TEMP}/export/objekte.xml all
exec ${BIN}/kartenbild ${PROJECT} ${TEMP}/export/objekte ${TEMP}/abends.svg
exec ${CHECK} expect ${TEMP}/abends.svg objects=4 DE-4509-301=schreibend+ DE-4509-311=neu+

# Without a project there is nothing to draw; into a missing folder nothing
# is written.
fails map ${TEMP}/fehlt/karte.svg
expect file ${TEMP}/fehlt/karte.svg missing
close
fails map ${TEMP}/leer.svg
