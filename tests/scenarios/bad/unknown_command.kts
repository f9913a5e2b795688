# An unknown command stops the scenario.
# exit: 1
# message: unknown command frobnicate
plugin TransactHooks
frobnicate the map
echo never reached
