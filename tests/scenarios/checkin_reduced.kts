# The reduced build has no export, so nothing opens the check-in dialog,
# whatever the switch says.
plugin TransactHooks
new-project ${TEMP}/p
config VANDRA AutoCheckIn 1
fails run VD1CustomExport
expect hooks none
