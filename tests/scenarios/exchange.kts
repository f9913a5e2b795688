# Geodata and attribute files out of one project and into another.
plugin VD1TransAction2010
new-project ${TEMP}/a
# Without transaction data the plug-in leaves the identifier to the host.
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create NSG area 0 0 100 0 100 100 as "NSG-Großes Moor"
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create WEG line 0 0 50 50 as WEG-1
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create ND point 7 8 as ND-1
activate "NSG-Großes Moor"
set linfos GESCHUETZT ja
post linfos
select "NSG-Großes Moor" WEG-1 ND-1
export-geodata ${TEMP}/P.shp
export-xml ${TEMP}/P.xml Wahr Falsch
expect file ${TEMP}/P.shp exists
expect file ${TEMP}/P_lin.dbf exists
expect file ${TEMP}/P_pkt.shp exists
expect file ${TEMP}/P_mpt.shp missing
expect file ${TEMP}/P.xml contains "<Feld Name=\"GESCHUETZT\">Wahr</Feld>"
close
new-project ${TEMP}/b
import-geodata ${TEMP}/P
import-xml ${TEMP}/P.xml
expect hooks AfterKARTULCommand
expect objects 3
expect area "NSG-Großes Moor" 5000
expect geometry ND-1 7 8
activate "NSG-Großes Moor"
expect value linfos GESCHUETZT WAHR
