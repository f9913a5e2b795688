# exit: 1
# message: plug-in file
plugin NoSuchBuild
