# exit: 1
# message: unknown object class NSX
new-project ${TEMP}/p
create NSX area 0 0 10 0 10 10
