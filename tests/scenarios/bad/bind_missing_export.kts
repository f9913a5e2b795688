# exit: 1
# message: has no export OnTablePost
plugin TransactHooks
bind table-posted OnTablePost
