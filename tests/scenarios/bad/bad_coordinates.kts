# exit: 1
# message: coordinates come in x y pairs
new-project ${TEMP}/p
create NSG area 0 0 10 0 10
