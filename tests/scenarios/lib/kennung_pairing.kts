# Body of kennung_pairing*.kts, run by each build (${DONE} is the
# command-done hook where the build has it).
# The host calls UpdateKennungPreCorrection before and after it changes an
# identifier; the plug-in runs its two halves in turn. Its own restore goes
# through the same hook, which then stands aside, so the pairing starts
# afresh with the next change.
include lib/checkout.kts

# A listed object: the second half undoes the change through ktSetKennung,
# whose two nested hook calls pass untouched.
answer message OK "Das Objekt ND-0042 ist bereits einer Transaktion zugewiesen. Seine Kennung darf daher nicht geändert werden."
rename ND-0042 ND-0043
expect hooks UpdateKennungPreCorrection UpdateKennungPreCorrection UpdateKennungPreCorrection UpdateKennungPreCorrection ${DONE}
expect kennung #3 ND-0042

# The next change pairs afresh: an unlisted object keeps its new name, and
# no table post in between marks anything.
answer message OK "Es sind keine Kennungen für die Zieltransaktion und die gewählte Objektklasse definiert!"
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create BIO point 1 1 as BIO-7
rename BIO-7 BIO-8
expect hooks UpdateKennungPreCorrection UpdateKennungPreCorrection ${DONE}
expect kennung BIO-8 BIO-8

# And once more for the listed object: refused again, not mistaken for the
# second half of an earlier change.
answer message OK "Das Objekt ND-0042 ist bereits einer Transaktion zugewiesen. Seine Kennung darf daher nicht geändert werden."
rename ND-0042 ND-0044
expect kennung #3 ND-0042
exec ${BIN}/dbsql "${TA}" "select KENNUNG,CHANGED from TA_LIST where TID = 4712"
expect output "ND-0042\tIGNORED\n"
