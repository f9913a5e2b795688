# exit: 1
# message: expectation failed: selection is none, not ND-1
new-project ${TEMP}/p
create ND point 1 1
expect selection ND-1
