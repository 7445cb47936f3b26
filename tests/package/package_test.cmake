# Installs the build into a fresh prefix, then builds the example host out of
# tree against it, once through find_package(mivo) and once through
# pkg-config, and runs each on a pack that the installed mivo_texdump makes.
# Only the prefix is on the host's include path, so a public header that
# includes an internal one fails the build.
set(prefix ${WORK_DIR}/prefix)
set(example ${SOURCE_DIR}/tools/examples/pack_host_example.cpp)
file(REMOVE_RECURSE ${WORK_DIR})

include(${CMAKE_CURRENT_LIST_DIR}/steps.cmake)

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
run(${prefix}/bin/mivo_texdump --no-images --pack-template ${WORK_DIR}/pack ${SOURCE_DIR}/samples)

run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/package/consumer -B ${WORK_DIR}/consumer -G Ninja
    -DCMAKE_CXX_COMPILER=${CXX} -DCMAKE_PREFIX_PATH=${prefix} -DMIVO_VERSION=${VERSION} -DEXAMPLE_SOURCE=${example})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
check_host(${WORK_DIR}/consumer/pack_host)

file(GLOB_RECURSE pc_file ${prefix}/mivo.pc)
get_filename_component(pc_dir "${pc_file}" DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --modversion mivo)
if(NOT out STREQUAL "${VERSION}\n")
  message(FATAL_ERROR "mivo.pc has version ${out}, not ${VERSION}")
endif()
run(pkg-config --cflags --libs mivo)
separate_arguments(flags UNIX_COMMAND "${out}")
run(${CXX} -std=c++20 ${example} ${flags} -o ${WORK_DIR}/pkg_config_host)
check_host(${WORK_DIR}/pkg_config_host)
