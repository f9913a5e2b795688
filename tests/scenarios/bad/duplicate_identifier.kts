# exit: 1
# message: the identifier "ND-Eiche" already exists
plugin VD1TransAction
new-project ${TEMP}/p
# Without the transaction table the plug-in leaves the identifier to the host.
answer message OK "Transaktionsliste nicht gefunden!"
create ND point 1 1 as ND-Eiche
answer message OK "Transaktionsliste nicht gefunden!"
create ND point 2 2 as ND-Eiche
