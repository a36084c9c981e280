# cmake -D FOLDER=dir -D OUTPUT=file -P QuorvaneJoinFiles.cmake
# Writes the files "*.js" of FOLDER, in the order of their names, one after
# the other into OUTPUT. The page agent and the tester's API are written as
# such parts (see scripts/inject/agent/ and scripts/api/), each packaged as
# the one script its parts make.
if(NOT FOLDER OR NOT OUTPUT)
  message(FATAL_ERROR "QuorvaneJoinFiles: FOLDER and OUTPUT are needed")
endif()
file(GLOB parts LIST_DIRECTORIES false "${FOLDER}/*.js")
list(SORT parts)
if(NOT parts)
  message(FATAL_ERROR "QuorvaneJoinFiles: no *.js in ${FOLDER}")
endif()
set(joined "")
foreach(part IN LISTS parts)
  file(READ "${part}" text)
  string(APPEND joined "${text}")
endforeach()
file(WRITE "${OUTPUT}" "${joined}")
