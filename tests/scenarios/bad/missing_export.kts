# The full build's hook table with the reduced build loaded.
# exit: 1
# message: lacks exports the hook table binds: BeforeLoadProject
hooks VD1TransAction2010
plugin TransactHooks
