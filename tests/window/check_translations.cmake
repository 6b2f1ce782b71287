# Fails when a text the windows show has no finished Chinese translation:
# lupdate extracts the texts from the sources into a copy of the .ts, and
# ts_table refuses any message left unfinished.
#   -DLUPDATE= -DTS_TABLE= -DTS= -DSOURCE_DIR= -DWORK= -DOPTIONS=a|b|c
file(GLOB sources ${SOURCE_DIR}/src/app/*.cpp ${SOURCE_DIR}/src/qt/*.cpp ${SOURCE_DIR}/src/window/*.cpp)
string(REPLACE "|" ";" options "${OPTIONS}")
file(MAKE_DIRECTORY ${WORK})
configure_file(${TS} ${WORK}/check.ts COPYONLY)
execute_process(COMMAND ${LUPDATE} ${sources} ${options} -ts ${WORK}/check.ts
  RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE out)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "lupdate failed:\n${out}")
endif()
message(STATUS "${out}")
execute_process(COMMAND ${TS_TABLE} --require-finished ${WORK}/check.ts ${WORK}/check.cpp kCheck
  RESULT_VARIABLE rc ERROR_VARIABLE err)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "${err}Translate them in translations/melvorin_zh.ts (cmake --build build --target melvorin_lupdate adds them).")
endif()
