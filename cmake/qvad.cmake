# Small helpers shared by every folder's CMakeLists.txt.

# qvad_shared_library(name DEF file.def SOURCES ...) builds a shared library;
# on Win32 its exports and ordinals come from the .def file.
function(qvad_shared_library name)
  cmake_parse_arguments(A "" "DEF" "SOURCES;LIBS" ${ARGN})
  add_library(${name} SHARED ${A_SOURCES})
  if(WIN32 AND A_DEF)
    target_sources(${name} PRIVATE ${A_DEF})
    # Keep the plain names of the .def file; no @N decorations on i686.
    target_link_options(${name} PRIVATE -Wl,--enable-stdcall-fixup -Wl,--kill-at)
  endif()
  if(A_LIBS)
    target_link_libraries(${name} PRIVATE ${A_LIBS})
  endif()
endfunction()

# qvad_gtest(name SOURCES ... LIBS ...) adds one GoogleTest program to CTest.
function(qvad_gtest name)
  cmake_parse_arguments(A "" "" "SOURCES;LIBS;DEPENDS" ${ARGN})
  add_executable(${name} ${A_SOURCES})
  target_link_libraries(${name} PRIVATE ${A_LIBS} qvadtestutil GTest::gtest GTest::gtest_main)
  if(A_DEPENDS)
    add_dependencies(${name} ${A_DEPENDS})
  endif()
  # One CTest entry per program: under Wine every process start costs a
  # second, so the cases of a program run in one process.
  add_test(NAME ${name} COMMAND ${name} --gtest_brief=1)
  # Tests read trace files while the programs run: no buffering there.
  set_tests_properties(${name} PROPERTIES TIMEOUT 600 ENVIRONMENT "ZLTGATE_FLUSH=each")
endfunction()

# Paths baked into tests must be paths of the platform the test runs on:
# under Wine the Linux root is drive Z:.
function(qvad_native_path var path)
  if(WIN32)
    string(REPLACE "/" "\\\\" p "${path}")
    set(${var} "Z:${p}" PARENT_SCOPE)
  else()
    set(${var} "${path}" PARENT_SCOPE)
  endif()
endfunction()
qvad_native_path(QVAD_NATIVE_BIN_DIR "${CMAKE_BINARY_DIR}/bin")
qvad_native_path(QVAD_NATIVE_SOURCE_DIR "${CMAKE_SOURCE_DIR}")

# qvad_version_info(target "description") gives a program or library the
# project's version: a VERSIONINFO resource on Win32 (what Explorer and an
# installer show), and QVAD_VERSION for a --version option.
function(qvad_version_info target description)
  target_compile_definitions(${target} PRIVATE QVAD_VERSION="${PROJECT_VERSION}")
  if(NOT WIN32)
    return()
  endif()
  get_target_property(type ${target} TYPE)
  get_target_property(out ${target} OUTPUT_NAME)
  if(NOT out)
    set(out ${target})
  endif()
  if(type STREQUAL "EXECUTABLE")
    set(QVAD_RC_FILETYPE "0x1L")   # VFT_APP
    set(QVAD_RC_FILENAME "${out}.exe")
  else()
    set(QVAD_RC_FILETYPE "0x2L")   # VFT_DLL
    set(QVAD_RC_FILENAME "${out}.dll")
  endif()
  set(QVAD_RC_DESCRIPTION "${description}")
  set(QVAD_RC_INTERNAL "${out}")
  set(QVAD_RC_INCLUDE "${ARGN}")
  set(rc ${CMAKE_BINARY_DIR}/versioninfo/${target}.version.rc)
  configure_file(${PROJECT_SOURCE_DIR}/cmake/version.rc.in ${rc} @ONLY)
  target_sources(${target} PRIVATE ${rc})
endfunction()
