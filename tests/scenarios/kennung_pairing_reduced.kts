# The identifier-change pairing under TransactHooks, which has no
# command-done hook.
plugin TransactHooks
let DONE ""
include lib/kennung_pairing.kts
