# Builds the example host with mivo added by add_subdirectory (see
# subdirectory/CMakeLists.txt) and runs it on a pack that this build's
# mivo_texdump makes.
set(example ${SOURCE_DIR}/tools/examples/pack_host_example.cpp)
file(REMOVE_RECURSE ${WORK_DIR})

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE status OUTPUT_VARIABLE out ERROR_VARIABLE out)
  if(NOT status EQUAL 0)
    message(FATAL_ERROR "failed (${status}): ${ARGN}\n${out}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run(${TEXDUMP} --no-images --pack-template ${WORK_DIR}/pack ${SOURCE_DIR}/samples)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package/subdirectory -B ${WORK_DIR}/host -G Ninja
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_C_COMPILER=${CC} -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER}
    -DMIVO_SOURCE_DIR=${SOURCE_DIR} -DEXAMPLE_SOURCE=${example})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/host --target pack_host)
run(${WORK_DIR}/host/pack_host ${WORK_DIR}/pack)
if(NOT out MATCHES "status: [0-9]+ entries\n([0-9]+) of ([0-9]+) textures replaced\n$"
   OR NOT CMAKE_MATCH_1 EQUAL CMAKE_MATCH_2 OR CMAKE_MATCH_1 EQUAL 0)
  message(FATAL_ERROR "pack_host:\n${out}")
endif()
