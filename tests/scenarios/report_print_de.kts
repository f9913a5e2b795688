# The check report of VD1TransAction: the summary, then a print preview paged
# through and printed to a PDF file, read back with pdftotext. The build has
# no text report to save. The tables come from lib/report_tables.kts.
plugin VD1TransAction
new-project ${TEMP}/p
include lib/report_tables.kts

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
