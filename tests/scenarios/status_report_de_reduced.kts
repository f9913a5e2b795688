# The status display and the selection by status of TransactHooks, in a
# German locale, in every state (lib/status_report_de.kts).
let BUILD TransactHooks
include lib/status_report_de.kts
