# The objects of the status scenarios: a new object in each transaction,
# and a deleted checked-out one whose object is still drawn.
answer form TFormGetTIDAndKennung
answer select lbKennungen "NSG-0816"
answer click BtnOK
create NSG area 10 10 60 10 60 60 10 60
answer form TFormGetTIDAndKennung
answer select lbTransActions "4712 - Eifelwiesen"
answer select lbKennungen "ND-0051"
answer click BtnOK
create ND point 5 5
exec ${BIN}/dbsql "${TA}" "update TA_LIST set SCHREIBEND = 3, CHANGED = 'DELETE' where KENNUNG = 'ND-0042'"
