# What the mapper of TransactHooks is told when the host or the transaction
# list refuses a step (lib/refusals.kts); it refuses a new object under the
# identifier of another object's row as VD1TransAction does.
let BUILD TransactHooks
include lib/refusals.kts
