# qrv_module(<dir> DEPS <libs...>)
# Builds every .cpp/.h of src/<dir> into the static library qrv_<dir>.
# New files are picked up without editing any CMakeLists.
function(qrv_module dir)
  cmake_parse_arguments(M "" "" "DEPS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS
       ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.c
       ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.h)
  if(NOT _src)
    add_library(qrv_${dir} INTERFACE)
    target_link_libraries(qrv_${dir} INTERFACE ${M_DEPS})
    target_include_directories(qrv_${dir} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    return()
  endif()
  add_library(qrv_${dir} STATIC ${_src})
  target_include_directories(qrv_${dir} PUBLIC ${PROJECT_SOURCE_DIR}/src)
  target_link_libraries(qrv_${dir} PUBLIC ${M_DEPS})
endfunction()

# qrv_test_dir(<dir> DEPS <libs...>)
# Every test_*.cpp of tests/<dir> is one test program, <dir>_<name>, run by CTest. Other .cpp/.h files of
# the folder are shared by its test programs.
function(qrv_test_dir dir)
  cmake_parse_arguments(T "" "" "DEPS" ${ARGN})
  file(GLOB _tests CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/test_*.cpp)
  file(GLOB _shared CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.h)
  list(FILTER _shared EXCLUDE REGEX "/test_[^/]*\\.cpp$")
  foreach(_t ${_tests})
    get_filename_component(_name ${_t} NAME_WE)
    string(REGEX REPLACE "^test_" "" _name ${_name})
    set(_exe test_${dir}_${_name})
    add_executable(${_exe} ${_t} ${_shared})
    set_target_properties(${_exe} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
    target_link_libraries(${_exe} PRIVATE qrv_testsupport ${T_DEPS})
    add_test(NAME ${dir}_${_name} COMMAND ${_exe})
    set_tests_properties(${dir}_${_name} PROPERTIES
      ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QRV_BIN_DIR=${QRV_BIN_DIR};QRV_SOURCE_DIR=${PROJECT_SOURCE_DIR};QRV_BUILD_DIR=${CMAKE_BINARY_DIR}"
      TIMEOUT 900)
    # Tests of these folders share the test database servers: run them one at a time.
    if(dir MATCHES "^(dal|core|tree|workspace)$")
      set_tests_properties(${dir}_${_name} PROPERTIES RESOURCE_LOCK test_servers)
    endif()
    if(dir STREQUAL "core" AND TARGET quorvane)
      add_dependencies(${_exe} quorvane)
    endif()
  endforeach()
endfunction()
