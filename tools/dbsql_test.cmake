# Runs dbsql as a user would: one statement on the command line, several on
# standard input, an error with its message and exit code.
file(REMOVE_RECURSE ${WORK})
file(MAKE_DIRECTORY ${WORK})
set(CS "Provider=Microsoft.Jet.OLEDB.4.0;Data Source=${WORK};Extended Properties=DBASE III;")

file(WRITE ${WORK}/input.sql "create Table TA_KL (TID integer, KENNUNG char(50));
insert into TA_KL (TID,KENNUNG) values (3,'NSG-0001');
insert into TA_KL (TID,KENNUNG) values (4,'Grün; mit Semikolon');
-- a comment; with a semicolon
select KENNUNG from TA_KL
where TID = 4;
")
execute_process(COMMAND ${DBSQL} "${CS}" INPUT_FILE ${WORK}/input.sql
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "Grün; mit Semikolon\n")
  message(FATAL_ERROR "statements from standard input: rc=${rc} out=[${out}] err=[${err}]")
endif()

execute_process(COMMAND ${DBSQL} --header "${CS}" "select TID, KENNUNG from TA_KL"
                OUTPUT_VARIABLE out RESULT_VARIABLE rc)
if(NOT rc EQUAL 0 OR NOT out STREQUAL "TID\tKENNUNG\n3\tNSG-0001\n4\tGrün; mit Semikolon\n")
  message(FATAL_ERROR "one statement with header: rc=${rc} out=[${out}]")
endif()

execute_process(COMMAND ${DBSQL} "${CS}" "select * from TA_LIST"
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(rc EQUAL 0 OR NOT err MATCHES "Die Tabelle TA_LIST gibt es nicht[.]")
  message(FATAL_ERROR "missing table: rc=${rc} err=[${err}]")
endif()

execute_process(COMMAND ${DBSQL} OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
if(NOT rc EQUAL 2 OR NOT err MATCHES "usage")
  message(FATAL_ERROR "usage: rc=${rc} err=[${err}]")
endif()
file(REMOVE_RECURSE ${WORK})
