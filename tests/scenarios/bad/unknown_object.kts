# exit: 1
# message: unknown object NSG-99
plugin VD1TransAction2010
new-project ${TEMP}/p
# Without transaction data the plug-in leaves the identifier to the host.
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create NSG area 0 0 10 0 10 10
delete NSG-99
