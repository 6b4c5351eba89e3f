# Runs the self-test runner over testing/failing and compares its whole
# output and exit status with testing/failing/expected.txt: the report lines
# are part of the runner's contract.
execute_process(
  COMMAND ${RUNNER} failing
  WORKING_DIRECTORY ${DIR}
  OUTPUT_VARIABLE out
  ERROR_VARIABLE err
  RESULT_VARIABLE rc)
file(READ ${DIR}/failing/expected.txt expected)
if(NOT rc EQUAL 1)
  message(FATAL_ERROR "exit status ${rc}, expected 1\n${out}${err}")
endif()
if(NOT out STREQUAL expected)
  message(FATAL_ERROR "report differs.\n--- actual ---\n${out}--- expected ---\n${expected}")
endif()
