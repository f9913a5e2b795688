# One round of a mapper's work on the checked-out transaction of
# ../scenarios/lib/checkout.kts that ends where it began (up to the marks
# and the order of the pools), so that the kill test can run it again and
# again: new objects created, switched, assigned and deleted, a checked-out
# object deleted and created again, another switched away and back.

# A new FFH area under a free identifier, switched to another, deleted:
# both identifiers go back to 4711's pool.
answer form TFormGetTIDAndKennung
answer select lbKennungen "DE-4509-311"
answer click BtnOK
create FFH area 2574000 5694000 2574300 5694000 2574300 5694200
activate DE-4509-311
answer form TformGetKennung
answer select lbKennungen "DE-4509-310"
answer click BtnOK
run SwitchKennung
delete DE-4509-310

# The checked-out area deleted and drawn again under its identifier.
delete DE-4509-301
answer form TFormGetTIDAndKennung
answer select lbKennungen "DE-4509-301"
answer click BtnOK
create FFH area 2575000 5695000 2575600 5695000 2575600 5695400

# A tree outside any transaction, assigned to 4712 under a free identifier,
# then deleted: the identifier goes back to 4712's pool.
answer form TFormGetTIDAndKennung
answer click BtnNoTID
create ND point 2575300 5695900 as ND-Linde
deselect all
select ND-Linde
answer message Yes "1 Objekte sollen einer Transaktion zugewiesen werden. Weiter?"
answer form TFormGetTID
answer select lbTID "4712 - Eifelwiesen"
answer click BtnOK
answer form TformGetKennung
answer select lbKennungen "ND-0051"
answer click BtnOK
run AssignToTransaction
delete ND-0051

# The checked-out tree switched to the free identifier and back.
activate ND-0042
answer form TformGetKennung
answer select lbKennungen "ND-0051"
answer click BtnOK
run SwitchKennung
activate ND-0051
answer form TformGetKennung
answer select lbKennungen "ND-0042"
answer click BtnOK
run SwitchKennung
