select count(*) from TA_LIST
where KENNUNG = 'NSG-0001'