# VD1TransAction knows neither the "BRB" rule set nor the second-generation
# mode (lib/rulesets_general.kts).
let BUILD VD1TransAction
include lib/rulesets_general.kts
