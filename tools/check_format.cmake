# Fails when any C++ source of the project is not formatted as .clang-format says.
file(GLOB_RECURSE sources ${SOURCE_DIR}/src/*.cc ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/bench/*.cc
     ${SOURCE_DIR}/fuzz/*.cc)
execute_process(COMMAND ${CLANG_FORMAT} --dry-run -Werror ${sources} RESULT_VARIABLE rc)
if(NOT rc EQUAL 0)
  message(FATAL_ERROR "clang-format found unformatted sources (run: clang-format -i on them)")
endif()
