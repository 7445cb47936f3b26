# The steps both package tests take: a command that must succeed, and an
# example host that must replace every texture of the pack in WORK_DIR/pack.
function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

# Every texture of the pack arrives.
function(check_host program)
  run(${program} ${WORK_DIR}/pack)
  if(NOT out MATCHES "status: [0-9]+ entries\n([0-9]+) of ([0-9]+) textures replaced\n$"
     OR NOT CMAKE_MATCH_1 EQUAL CMAKE_MATCH_2 OR CMAKE_MATCH_1 EQUAL 0)
    message(FATAL_ERROR "${program}:\n${out}")
  endif()
endfunction()
