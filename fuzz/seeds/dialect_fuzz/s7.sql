create table KT_SYS_LIFECYCLE
 (ID autoincrement, 
KENNUNG text(128), 
OKL long, 
ZEITSTEMPEL datetime)