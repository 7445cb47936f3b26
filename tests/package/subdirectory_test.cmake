# Builds the example host with mivo added by add_subdirectory (see
# subdirectory/CMakeLists.txt) and runs it on a pack that this build's
# mivo_texdump makes.
set(example ${SOURCE_DIR}/tools/examples/pack_host_example.cpp)
file(REMOVE_RECURSE ${WORK_DIR})
include(${CMAKE_CURRENT_LIST_DIR}/steps.cmake)

run(${TEXDUMP} --no-images --pack-template ${WORK_DIR}/pack ${SOURCE_DIR}/samples)
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package/subdirectory -B ${WORK_DIR}/host -G Ninja
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_C_COMPILER=${CC} -DCMAKE_CXX_COMPILER_LAUNCHER=${LAUNCHER}
    -DMIVO_SOURCE_DIR=${SOURCE_DIR} -DEXAMPLE_SOURCE=${example})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/host --target pack_host)
check_host(${WORK_DIR}/host/pack_host)
