# exit: 1
# message: a double quote is not closed
new-project ${TEMP}/p
create ND point 1 1 as "ND 1
