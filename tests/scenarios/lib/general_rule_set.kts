# A step of the earlier builds' scenarios: neither the state code "BRB" nor
# the second-generation switch changes the creation in these builds: the
# chooser of the general rule set opens (lib/rulesets_general.kts follows
# each rule set further).
config Config Bundesland BRB
config "VANDRA II" VD2Transaktion 1
answer form TFormGetTIDAndKennung
answer click BtnCancel
create FFH area 0 0 10 0 10 10
expect form TFormGetTIDAndKennung
expect missing FFH-1
config Config Bundesland NRW
config "VANDRA II" VD2Transaktion 0
