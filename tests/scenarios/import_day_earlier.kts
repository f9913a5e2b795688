# A mapper's day between two imports, in the earlier build VD1TransAction,
# whose deletion hook writes the lists while the import deletes objects
# (lib/import_day.kts).
let BUILD VD1TransAction
include lib/import_day.kts
