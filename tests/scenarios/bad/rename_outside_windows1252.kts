# A rename to an identifier the host's code page cannot hold is refused.
# exit: 1
# message: the identifier "ND-Ω" cannot be used: character U+03A9 has no Windows-1252 code
new-project ${TEMP}/p
create ND point 1 1 as ND-Linde
rename ND-Linde ND-Ω
