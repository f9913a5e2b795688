# The full build: where the host fires which hook.
plugin VD1TransAction2010
new-project ${TEMP}/p
expect hooks BeforeLoadProject AfterLoadProject AfterKARTULCommand
# Without transaction data the plug-in leaves the identifier to the host.
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create NSG area 0 0 100 0 100 100 0 100
expect hooks BeforeCreateObject InsertInTransActionList AfterKARTULCommand
expect active NSG-1
answer message OK "Transaktions- oder Kennungsliste nicht gefunden!"
create PFL point 50 50 as PFL-Wiese
rename NSG-1 NSG-2
expect hooks UpdateKennungPreCorrection UpdateKennungPreCorrection AfterKARTULCommand
expect kennung #1 NSG-2
move NSG-2 2 120 120
expect hooks CheckStatus GeometryChanged AfterKARTULCommand
expect area NSG-2 12000
reclass NSG-2 BIO
expect hooks AfterEditObject AfterKARTULCommand
expect class NSG-2 BIO
activate NSG-2
set linfos NAME "Moor am See"
expect hooks AfterKARTULCommand
post linfos
expect hooks OnTablePost AfterKARTULCommand
paste NSG-2 PFL-Wiese
# The pasted row is posted, then the plug-in writes and posts the coordinates
# twice and the area once.
expect hooks OnTablePost AfterPasteData OnTablePost OnTablePost OnTablePost AfterKARTULCommand
expect value linfos NAME "Moor am See"
append Pflanzenliste
set Pflanzenliste Art "Arnica montana"
expect hooks DeletePflanzenStatus AfterKARTULCommand
set Pflanzenliste Status e
post Pflanzenliste
expect value Pflanzenliste Status e
append Objektphotos
# The main-photo rule saves a row not saved yet, so that it finds it again.
set Objektphotos Hauptphoto WAHR
expect hooks CorrectHauptfoto OnTablePost AfterKARTULCommand
post Objektphotos
expect hooks OnTablePost AfterKARTULCommand
delete-row Objektphotos
expect hooks OnTablePost AfterKARTULCommand
expect rows Objektphotos 0
run SetETRS89
expect hooks SetETRS89 OnTablePost AfterKARTULCommand
expect value linfos UTM_East 50
# The export asks first; No leaves everything as it is.
answer message No
run VD1CustomExport
expect hook VD1CustomExport true
select NSG-2 PFL-Wiese
expect selection PFL-Wiese NSG-2
deselect NSG-2
expect selection PFL-Wiese
delete PFL-Wiese
expect hooks DeleteFromTransActionList AfterKARTULCommand
expect selection none
expect objects 1
close
expect hooks BeforeCloseProject AfterCloseProject AfterKARTULCommand
open ${TEMP}/p
expect kennung #1 NSG-2
expect geometry NSG-2 0 0 100 0 120 120 0 100
