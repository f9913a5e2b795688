# A build named on the command line that is not there: kartul-sim does not start.
# exit: 2
# args: --build NoSuchBuild
# message: NoSuchBuild.so not found
echo never reached
