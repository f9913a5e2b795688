# exit: 1
# message: the identifier "ND-Eiche" already exists
plugin VD1TransAction
new-project ${TEMP}/p
create ND point 1 1 as ND-Eiche
create ND point 2 2 as ND-Eiche
