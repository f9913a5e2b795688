Create unique index PrimaryKey on KT_SYS_LIFECYCLE
(ID) with primary