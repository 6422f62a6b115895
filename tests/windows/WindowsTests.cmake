# The Windows build's tests: the core's portable suites and the native
# registry's, cross-built with GoogleTest from Debian's sources and run by
# CTest through Wine (CMAKE_CROSSCOMPILING_EMULATOR). Suites that test
# POSIX behaviour (file modes, links, signals, child processes, the Linux
# machines) are not built here; scripts/test-windows runs these.
set(COMSWEEP_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest sources to cross-build")
set(gtest_force_shared_crt OFF CACHE BOOL "" FORCE)
add_subdirectory(${COMSWEEP_GOOGLETEST_SOURCE} ${CMAKE_BINARY_DIR}/googletest EXCLUDE_FROM_ALL)
include(GoogleTest)

add_library(comsweep_testsupport STATIC
  support/Fixture.cpp
  support/MachineDump.cpp
  support/TempDir.cpp
)
target_include_directories(comsweep_testsupport PUBLIC ${CMAKE_CURRENT_SOURCE_DIR})
target_link_libraries(comsweep_testsupport PUBLIC comsweep_app gtest gmock)

add_executable(comsweep_tests
  app/CommandLineTest.cpp
  app/MachineChooserTest.cpp
  app/RunTest.cpp
  registry/memory/MemoryStoreTest.cpp
  registry/store/TextTest.cpp
  registry/regfile/RegFileStoreTest.cpp
  removal/UndoFileTest.cpp
  registry/native/LiveRegistryTest.cpp
  registry/native/NativeStoreAddingTest.cpp
  registry/regfile/RegFileParserTest.cpp
  registry/regfile/RegFileWriterTest.cpp
  removal/KeyRemovalTest.cpp
  scan/MatchingTest.cpp
  scan/ScannerTest.cpp
  forms/ReviewLayoutTest.cpp
  forms/ReviewStateTest.cpp
)
target_link_libraries(comsweep_tests PRIVATE comsweep_testsupport comsweep_warnings gtest_main)
target_compile_definitions(comsweep_tests PRIVATE COMSWEEP_TEST_DATA="${CMAKE_CURRENT_SOURCE_DIR}/data")
# Listed when CTest runs, under Wine, not at build time.
gtest_discover_tests(comsweep_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120)

# The packages installed silently, run and uninstalled under Wine;
# scripts/test-windows makes them (cpack) first.
if(COMSWEEP_BUILD_PACKAGE)
  add_test(NAME WindowsPackageUnderWine
    COMMAND ${PROJECT_SOURCE_DIR}/tests/package/test-windows-package ${PROJECT_BINARY_DIR} ${PROJECT_VERSION})
  set_tests_properties(WindowsPackageUnderWine PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()

# The windows driven by real key presses and clicks, under Wine in a prefix
# and on a virtual X server of the test's own.
add_test(NAME RealInputWine
  COMMAND ${PROJECT_SOURCE_DIR}/tests/input/test-real-input wine $<TARGET_FILE:comsweep>)
set_tests_properties(RealInputWine PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600)

# The windows, driven by window messages on the live registry of the test
# prefix; they need a display (scripts/test-windows starts a virtual X
# server) and the manifest of the program's common controls.
add_executable(comsweep_win32_tests frontends/win32/Win32WindowsTest.cpp ${COMSWEEP_WIN32_RESOURCES})
set_property(SOURCE ${COMSWEEP_WIN32_RESOURCES} APPEND PROPERTY OBJECT_DEPENDS ${COMSWEEP_WIN32_MANIFEST})
target_link_libraries(comsweep_win32_tests PRIVATE comsweep_win32 comsweep_warnings gtest_main)
# One at a time: each seeds and cleans the same keys and C:\.
gtest_discover_tests(comsweep_win32_tests DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 120
  PROPERTIES RESOURCE_LOCK live_registry_classes)
