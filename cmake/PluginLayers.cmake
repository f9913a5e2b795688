# The plug-in's layers, each a static library that sees only the layers
# below it (cmake/Layers.cmake): the platform stand-ins; storage (the dBase
# codec and the shapefiles over it, then the database driver); the host
# façade; the plug-in context; the tables the plug-in keeps, each in a
# folder of its owner's (transaction/tables, photos/tables), which see no
# windows (storage shows nothing, its callers do); the dialogs; the rules of the system's
# modules; the hooks. One table for the Linux build and the Windows DLLs.
vandra_layer(platform FOLDERS
  platform/env platform/text platform/ini platform/registry platform/process platform/ui
  platform/print platform/xml platform/module)
vandra_layer(dbase FOLDERS platform/dbase platform/geodata BELOW platform)
vandra_layer(db FOLDERS platform/db BELOW dbase)
vandra_layer(host FOLDERS host BELOW db)
vandra_layer(context FOLDERS context BELOW host)
vandra_layer(tables FOLDERS transaction/tables photos/tables BELOW context HIDES platform/ui)
vandra_layer(dialogs FOLDERS dialogs BELOW tables)
vandra_layer(rules FOLDERS transaction status report geometry photos exchange BELOW dialogs)
vandra_layer(hooks FOLDERS plugin builds BELOW rules)
