# The state gate of VD1TransAction: outside the state "RLP" both commands
# do nothing at all: no message, no chooser, the selection stays. Then in
# "RLP" the status of the read-only object.
activate NSG-0815
run ShowObjStatus
expect hooks ShowObjStatus AfterKARTULCommand
select DE-4509-301
run SelectByStatus
expect hooks SelectByStatus AfterKARTULCommand
expect selection DE-4509-301
config Config Bundesland NRW
run ShowObjStatus
expect hooks ShowObjStatus AfterKARTULCommand
exec /bin/sh -c "! grep -q 'TformGetStatus\\|ist in der Transaktion' ${TEMP}/transcript.txt"
config Config Bundesland RLP
answer message OK "Das Objekt NSG-0815 ist in der Transaktion 4711\n\rmit dem Status 'Lesend' gesperrt."
run ShowObjStatus
