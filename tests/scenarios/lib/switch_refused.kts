# A host that refuses every identifier change: its kennung-changing event
# goes to a hook that answers false there. The switch (on the object that
# ${PICK}, "activate" or "select", makes the one the build switches) keeps
# the object's identifier, and the lists stay as they were. ${LIST} and
# ${POOL} are the including scenario's queries of TA_LIST and TA_KL.
bind kennung-changing InsertInTransActionList
${PICK} DE-4509-301
answer form TformGetKennung
answer select lbKennungen "DE-4509-310"
answer click BtnOK
answer message OK "Die Kennung DE-4509-310 wurde für das Objekt DE-4509-301 nicht angenommen. Das Objekt behält seine Kennung."
run SwitchKennung
expect exists DE-4509-301
expect missing DE-4509-310
exec ${BIN}/dbsql "${TA}" "${LIST} where TID = 4711"
expect output "DE-4509-301\t4711\t1\tIGNORED\tDE-4509-301\nNSG-0815\t4711\t0\tIGNORED\tNSG-0815\n"
exec ${BIN}/dbsql "${TA}" "${POOL} where TID = 4711"
expect output "4711\tDE-4509-310\n4711\tDE-4509-311\n4711\tNSG-0816\n4711\tND-0050\n"
bind kennung-changing UpdateKennungPreCorrection
