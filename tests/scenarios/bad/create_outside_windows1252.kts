# An identifier the host's code page cannot hold is refused, not stored as "?".
# exit: 1
# message: the identifier "ND-木" cannot be used: character U+6728 has no Windows-1252 code
new-project ${TEMP}/p
create ND point 1 1 as ND-木
