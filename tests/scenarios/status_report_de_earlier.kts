# The status display and the selection by status of VD1TransAction, in a
# German locale: they work only where the state is "RLP"
# (lib/status_report_de.kts).
let BUILD VD1TransAction
include lib/status_report_de.kts
