# The reduced build: transaction hooks only; the host goes on without the rest.
plugin TransactHooks
new-project ${TEMP}/p
expect hooks none
# Without the transaction table the plug-in leaves the identifier to the host.
answer message OK "Transaktionsliste nicht gefunden!"
create ND point 1 1
expect hooks BeforeCreateObject InsertInTransActionList
activate ND-1
set linfos NAME Eiche
post linfos
expect hooks none
rename ND-1 ND-2
expect hooks UpdateKennungPreCorrection UpdateKennungPreCorrection
answer message OK "Es muss genau ein Objekt selektiert sein!"
run SwitchKennung
expect hooks SwitchKennung
fails run ProcessFoto
bind command-done AfterEditObject
select ND-2
expect hooks AfterEditObject
bind command-done -
delete ND-2
expect hooks DeleteFromTransActionList
