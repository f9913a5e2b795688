# A mapper's day between two imports, in the full build (lib/import_day.kts).
let BUILD VD1TransAction2010
include lib/import_day.kts
