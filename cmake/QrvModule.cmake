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
# Every .cpp of tests/<dir> forms the test program test_<dir>, run by CTest.
function(qrv_test_dir dir)
  cmake_parse_arguments(T "" "" "DEPS" ${ARGN})
  file(GLOB _src CONFIGURE_DEPENDS ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.cpp ${CMAKE_CURRENT_SOURCE_DIR}/${dir}/*.h)
  if(NOT _src)
    return()
  endif()
  add_executable(test_${dir} ${_src})
  set_target_properties(test_${dir} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_link_libraries(test_${dir} PRIVATE qrv_testsupport ${T_DEPS})
  add_test(NAME ${dir} COMMAND test_${dir})
  set_tests_properties(${dir} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;QRV_BIN_DIR=${QRV_BIN_DIR};QRV_SOURCE_DIR=${PROJECT_SOURCE_DIR};QRV_BUILD_DIR=${CMAKE_BINARY_DIR}"
    TIMEOUT 900)
endfunction()
