# The host calls UpdateKennungPreCorrection before and after it changes an
# identifier; the plug-in runs its two halves in turn. Its own restore goes
# through the same hook, which then stands aside, so the pairing starts
# afresh with the next change.
plugin VD1TransAction2010
let DONE AfterKARTULCommand
include lib/kennung_pairing.kts
