# The floor check against a scratch tree made from the real floor table: an
# upward include must be refused with its file, line and both floors named,
# while includes of the same floor and of lower floors pass.
# Run: cmake -DSOURCE_DIR=<checkout> -DWORK_DIR=<scratch folder> -P CheckLayersTest.cmake
file(REMOVE_RECURSE "${WORK_DIR}")
file(MAKE_DIRECTORY "${WORK_DIR}/docs" "${WORK_DIR}/src/net" "${WORK_DIR}/src/store"
     "${WORK_DIR}/src/base")
file(COPY "${SOURCE_DIR}/docs/architecture.md" DESTINATION "${WORK_DIR}/docs")
file(WRITE "${WORK_DIR}/src/base/Low.h" "#pragma once\n")
file(WRITE "${WORK_DIR}/src/store/Side.h" "#pragma once\n")

function(run_check expect_rc expect_text)
  execute_process(COMMAND "${SOURCE_DIR}/scripts/check-layers" "${WORK_DIR}"
    RESULT_VARIABLE rc OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT rc EQUAL expect_rc)
    message(FATAL_ERROR "check-layers exited ${rc}, expected ${expect_rc}:\n${out}${err}")
  endif()
  if(NOT expect_text STREQUAL "" AND NOT out MATCHES "${expect_text}")
    message(FATAL_ERROR "check-layers said:\n${out}${err}\nexpected a line matching: ${expect_text}")
  endif()
endfunction()

# Same floor (net and store are both on floor 2) and lower floor: accepted.
file(WRITE "${WORK_DIR}/src/net/Ok.cpp" "#include \"store/Side.h\"\n#include \"base/Low.h\"\n")
run_check(0 "")

# One upward include, on line 2: refused and named.
file(WRITE "${WORK_DIR}/src/net/Up.cpp" "#include \"base/Low.h\"\n  #include \"app/Principal.h\"\n")
run_check(1 "src/net/Up.cpp:2: upward include of \"app/Principal.h\": net/ is on floor 2, app/ on floor 6")

# A folder with no row in the table is an error of its own.
file(REMOVE "${WORK_DIR}/src/net/Up.cpp")
file(MAKE_DIRECTORY "${WORK_DIR}/src/stray")
file(WRITE "${WORK_DIR}/src/stray/X.cpp" "\n")
run_check(2 "folder stray has no floor")
