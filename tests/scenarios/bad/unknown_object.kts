# exit: 1
# message: unknown object NSG-99
plugin VD1TransAction2010
new-project ${TEMP}/p
create NSG area 0 0 10 0 10 10
delete NSG-99
