# exit: 1
# message: the identifier "B" already exists
new-project ${TEMP}/p
create ND point 1 1 as A
create ND point 2 2 as B
rename A B
