# A mapper's day in KARTUL with the VANDRA plug-in, run by scripts/demo:
#   kartul-sim --build VD1TransAction2010 --trace demo/day.kts
# The project is made fresh in kartul-sim's temporary folder.
new-project ${TEMP}/Tagesprojekt
show classes
echo --- Morning: a protected area and a natural monument
create NSG area 2553000 5712000 2553400 5712000 2553400 5712300 2553000 5712300
create ND point 2553120 5712150 as ND-Stieleiche
activate NSG-1
set linfos NAME "Großes Moor am Heideweg"
set linfos GESCHUETZT WAHR
post linfos
expect value linfos NAME "Großes Moor am Heideweg"
echo --- The plant list of a meadow
create PFL point 2553250 5712100 as PFL-Wiese
append Pflanzenliste
set Pflanzenliste Art "Arnica montana"
set Pflanzenliste Status e
post Pflanzenliste
echo --- A photo link for the oak
activate ND-Stieleiche
append Objektphotos
set Objektphotos PhotoID 1
set Objektphotos Hauptphoto WAHR
post Objektphotos
echo --- Noon: the boundary is corrected, the area gets its name
move NSG-1 2 2553450 5712320
expect area NSG-1 131500
rename NSG-1 NSG-Heidemoor
echo --- Afternoon: the plug-in's commands on the active object
activate NSG-Heidemoor
run ShowObjStatus
run SetGaussKrueger
run SetETRS89
select NSG-Heidemoor ND-Stieleiche
run AssignToTransaction
echo --- Evening: hand the day's objects over as files
export-geodata ${TEMP}/Abgabe.shp
export-xml ${TEMP}/Abgabe.xml T F
expect file ${TEMP}/Abgabe.shp exists
expect file ${TEMP}/Abgabe.xml contains "NSG-Heidemoor"
show objects
close
