# Tests of the Qt-free plug-in hosts (settings file, library loading, input
# and output hosts, local memory handles, the foreign JPEG reader). They are
# GoogleTest programs built from the hosts' own sources, without Qt, so they
# also show that the hosts stand alone for a batch front end.
find_package(GTest REQUIRED)
find_package(JPEG REQUIRED)
include(GoogleTest)

set(HOSTS_TEST_DIR ${CMAKE_CURRENT_SOURCE_DIR}/hosts)
set(HOSTS_FAKE_DIR ${CMAKE_BINARY_DIR}/tests/hosts_libs)

# Fake reader and writer libraries whose behaviour the tests steer through the
# files they hand them (readers) or through the image (writers).
function(hosts_fake name source)
  add_library(${name} SHARED ${HOSTS_TEST_DIR}/${source})
  set_target_properties(${name} PROPERTIES PREFIX "" LIBRARY_OUTPUT_DIRECTORY ${HOSTS_FAKE_DIR}
                        BUILD_RPATH $<TARGET_FILE_DIR:kvza>)
  target_link_libraries(${name} PRIVATE kvza kvza_contract)
  target_compile_definitions(${name} PRIVATE ${ARGN})
  # Unique symbols from the C++ library would keep a fake loaded after
  # dlclose; the tests check that the hosts unload their libraries.
  target_compile_options(${name} PRIVATE -fno-gnu-unique)
  list(APPEND hosts_fakes ${name})
  set(hosts_fakes ${hosts_fakes} PARENT_SCOPE)
endfunction()

set(hosts_fakes)
hosts_fake(fake_kin fake_kin.cpp FAKE_KIN_IMGS=1 FAKE_KIN_LOAD=1)
hosts_fake(fake_kin_noimgs fake_kin.cpp FAKE_KIN_LOAD=1)
hosts_fake(fake_kin_pixs_only fake_kin.cpp FAKE_KIN_IMGS=1)
hosts_fake(fake_foreign fake_foreign.cpp)
hosts_fake(fake_foreign_kin_pixs fake_foreign.cpp FAKE_WITH_KIN_PIXS=1)
hosts_fake(fake_foreign_no_info fake_foreign.cpp FAKE_OMIT_GETPLUGININFO=1 FAKE_WITH_KIN_PIXS=1)
hosts_fake(fake_foreign_no_pictureinfo fake_foreign.cpp FAKE_OMIT_GETPICTUREINFO=1)
hosts_fake(fake_foreign_no_picture fake_foreign.cpp FAKE_OMIT_GETPICTURE=1)
# Second readers: a tagged fake the tests name in InPlug (png, jpg) and one
# installed as the wide reader's name in its own folder.
hosts_fake(fake_kin_second fake_kin.cpp FAKE_KIN_IMGS=1 FAKE_KIN_LOAD=1 FAKE_KIN_TAG="second")
hosts_fake(fake_kin_wide fake_kin.cpp FAKE_KIN_IMGS=1 FAKE_KIN_LOAD=1 FAKE_KIN_TAG="wide")
set_target_properties(fake_kin_wide PROPERTIES OUTPUT_NAME kinwide LIBRARY_OUTPUT_DIRECTORY
                      ${HOSTS_FAKE_DIR}/wide)
hosts_fake(fake_kot fake_kot.cpp FAKE_KOT_TABLE=1 FAKE_KOT_SAVE=1)
hosts_fake(fake_kot_no_table fake_kot.cpp FAKE_KOT_SAVE=1)
hosts_fake(fake_kot_no_save fake_kot.cpp FAKE_KOT_TABLE=1)

foreach(test ini_file settings_place dynlib localmem plugin_name input_host second_chance foreign_reader jpeg_reader
        output_host)
  set(target hosts_${test}_tests)
  add_executable(${target} ${HOSTS_TEST_DIR}/${test}_tests.cpp)
  set_target_properties(${target} PROPERTIES RUNTIME_OUTPUT_DIRECTORY ${CMAKE_BINARY_DIR}/tests)
  target_include_directories(${target} PRIVATE ${HOSTS_TEST_DIR})
  target_link_libraries(${target} PRIVATE kvzaedit_host kvza_testsupport JPEG::JPEG
                        GTest::gtest_main)
  target_compile_definitions(${target} PRIVATE KVZA_BIN_DIR="${KVZA_OUT}"
                             HOSTS_FAKE_DIR="${HOSTS_FAKE_DIR}")
  add_dependencies(${target} ${hosts_fakes})
  foreach(plugin kinbmp kintga kinpng kinwide kotbmp kinjpg)
    if(TARGET ${plugin})
      add_dependencies(${target} ${plugin})
    endif()
  endforeach()
  gtest_discover_tests(${target} TEST_PREFIX "hosts." DISCOVERY_TIMEOUT 60)
endforeach()
