# The whole chain on the sample data, each step shown with the command a user would type:
# capture files -> blokjoin -> packed image -> tester, and a Brontal image checked directly.
# Run with -DBIN=<folder of the programs> -DSAMPLES=<sample folder>.
function(step program)
  string(JOIN " " shown ${ARGN})
  message("\n$ ${program} ${shown}")
  execute_process(COMMAND ${BIN}/${program} ${ARGN} WORKING_DIRECTORY ${SAMPLES}
                  RESULT_VARIABLE status)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "${program} ended with status ${status}")
  endif()
endfunction()

file(MAKE_DIRECTORY ${SAMPLES})
execute_process(COMMAND ${BIN}/make-samples ${SAMPLES} COMMAND_ERROR_IS_FATAL ANY)
message("Sample data in ${SAMPLES}")
step(blokjoin quendrell-1.cap quendrell-2.cap quendrell.bin)
step(quendrell-romtest quendrell.bin quendrell-unpacked.bin)
step(brontal-romtest brontal.bin brontal-unpacked.bin)
step(brontal-romtest brontal-unpacked.bin)
