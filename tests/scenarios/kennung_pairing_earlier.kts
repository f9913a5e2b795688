# The identifier-change pairing under VD1TransAction (rows found by KENNUNG).
plugin VD1TransAction
let DONE AfterKARTULCommand
include lib/kennung_pairing.kts
