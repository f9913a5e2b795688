# The check report of VD1TransAction: the summary, then a print preview paged
# through and printed to a PDF file, read back with pdftotext. The build has
# no text report to save. The tables are written directly, as an import
# leaves them: 4711 with 70 new objects (a list that goes on over the page
# break), a deleted and two changed ones; 4712 with a new one.
plugin VD1TransAction
new-project ${TEMP}/p
let TA "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=${PROJECT};Extended Properties=DBASE III;"
exec ${BIN}/dbsql "${TA}" "create Table TA_LIST (TID integer, KARTULID integer,VGNR integer,SCHREIBEND integer,KENNUNG char(50),CHANGED char(15),KENNUNGO char(50))"
exec ${BIN}/dbsql "${TA}" "create Table TA_ID (TID integer, NAME char(75),OWNER char(75))"
exec ${BIN}/dbsql "${TA}" "create Table TA_KL (TID integer, KENNUNG char(50))"
exec ${BIN}/dbsql "${TA}" "insert into TA_ID (TID,NAME,OWNER) values (4711,'Ruhraue bei Hattingen','Frau Kern')"
exec ${BIN}/dbsql "${TA}" "insert into TA_ID (TID,NAME,OWNER) values (4712,'Eifelwiesen Süd','Herr Busch')"
exec /bin/sh -c "i=1; while [ $i -le 70 ]; do echo \"insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,$i,0,2,'NSG-$i','','NEW');\"; i=$((i+1)); done | ${BIN}/dbsql '${TA}'"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,101,90001,3,'DE-4509-301','DE-4509-301','DELETE')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,102,90002,1,'ÖK-0815','ÖK-0815','UPDATE')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,103,90003,1,'NSG-0816','NSG-0816','UPDATE')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4711,104,90004,0,'NSG-0001','NSG-0001','IGNORED')"
exec ${BIN}/dbsql "${TA}" "insert into TA_LIST (TID,KARTULID,VGNR,SCHREIBEND,KENNUNG,KENNUNGO,CHANGED) values (4712,105,0,2,'ND-0051','','NEW')"

# The preview opens on page 1 of 3; the mapper turns to page 2, back, and
# prints. A bare name goes into the project folder and gets ".pdf".
answer form TFormTransActionReport
answer click BtnShowReport
answer form TFormPrintPreview
answer click BtnNextPage
answer click BtnPrevPage
answer click BtnNextPage
answer click BtnPrint
answer file "Bericht"
answer click BtnClose
answer click BtnClose
run MakeTransActionReport
expect hook MakeTransActionReport true
expect form TFormPrintPreview
expect file ${TEMP}/transcript.txt contains "LabelPage label \"Seite 1 von 3\""
expect file ${TEMP}/transcript.txt contains "\"VANDRA-Transaktions-Prüfbericht\""
expect file ${PROJECT}Bericht.pdf exists
exec /usr/bin/pdftotext -raw -enc UTF-8 ${PROJECT}Bericht.pdf ${TEMP}/bericht.txt
expect file ${TEMP}/bericht.txt contains "VANDRA-Transaktions-Prüfbericht"
expect file ${TEMP}/bericht.txt contains "Transaktionsnummer: 4711"
expect file ${TEMP}/bericht.txt contains "Gebietsbetreuer: Frau Kern"
expect file ${TEMP}/bericht.txt contains "neue Objekte: Anzahl: 70"
expect file ${TEMP}/bericht.txt contains "NSG-70"
expect file ${TEMP}/bericht.txt contains "Transaktionsnummer: 4711 (Fortsetzung)"
expect file ${TEMP}/bericht.txt contains "gelöschte Objekte: Anzahl: 1"
expect file ${TEMP}/bericht.txt contains "geänderte Objekte: Anzahl: 2"
expect file ${TEMP}/bericht.txt contains "ÖK-0815"
expect file ${TEMP}/bericht.txt contains "Name: Eifelwiesen Süd"
expect file ${TEMP}/bericht.txt contains "Prüfbericht vom "
expect file ${TEMP}/bericht.txt contains "- 1 -"
expect file ${TEMP}/bericht.txt contains "- 2 -"
expect file ${TEMP}/bericht.txt contains "- 3 -"
exec /usr/bin/pdfinfo ${PROJECT}Bericht.pdf
expect file ${PROJECT}KTProjekt.ktp contains "PrintFolder="

# Printing again over the same file asks first; No leaves it as it was.
exec /bin/cp ${PROJECT}Bericht.pdf ${TEMP}/vorher.pdf
answer form TFormTransActionReport
answer click BtnShowReport
answer form TFormPrintPreview
answer click BtnPrint
answer file "Bericht.pdf"
answer message No "Die Ausgabedatei existiert bereits. Überschreiben?"
answer click BtnClose
answer click BtnClose
run MakeTransActionReport
exec /usr/bin/cmp ${PROJECT}Bericht.pdf ${TEMP}/vorher.pdf

# The preview has no button to save the report as text: neither opening
# showed one.
exec /bin/sh -c "! grep -i -q 'btnSave' ${TEMP}/transcript.txt"
