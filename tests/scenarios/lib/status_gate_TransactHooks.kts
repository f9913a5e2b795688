# TransactHooks has no state gate: the status of the read-only object with
# no state set, then in "NRW" alike.
answer message OK "Das Objekt NSG-0815 ist in der Transaktion 4711\n\rmit dem Status 'Lesend' gesperrt."
activate NSG-0815
run ShowObjStatus
expect hooks ShowObjStatus
config Config Bundesland NRW
