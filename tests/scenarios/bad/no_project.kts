# exit: 1
# message: no project in
open ${TEMP}/nowhere
