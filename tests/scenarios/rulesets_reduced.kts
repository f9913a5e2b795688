# TransactHooks knows neither the "BRB" rule set nor the second-generation
# mode; its chooser's map-sheet filter is its own (lib/rulesets_general.kts).
let BUILD TransactHooks
include lib/rulesets_general.kts
