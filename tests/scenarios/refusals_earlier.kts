# What the mapper of VD1TransAction is told when the host or the transaction
# list refuses a step (lib/refusals.kts).
let BUILD VD1TransAction
include lib/refusals.kts
