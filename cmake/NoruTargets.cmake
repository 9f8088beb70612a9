# Helpers shared by every target of the project.

# Designated initializers that leave optional members out are idiomatic here.
set(NORU_WARNINGS -Wall -Wextra -Wpedantic -Wno-missing-field-initializers)

function(noru_configure_sanitizers)
  if(NORU_SANITIZE STREQUAL "address")
    set(flags -fsanitize=address,undefined -fno-sanitize-recover=all -fno-omit-frame-pointer)
  elseif(NORU_SANITIZE STREQUAL "thread")
    set(flags -fsanitize=thread -fno-omit-frame-pointer)
  elseif(NORU_SANITIZE STREQUAL "fuzzer")
    # ASan + UBSan as above, and the coverage feedback libFuzzer steers by in all code; only the
    # fuzz targets themselves link libFuzzer (noru_add_fuzzer).
    if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
      message(FATAL_ERROR "NORU_SANITIZE=fuzzer needs clang++ (e.g. CXX=clang++-14), "
                          "not ${CMAKE_CXX_COMPILER_ID}")
    endif()
    set(flags -fsanitize=fuzzer-no-link,address,undefined -fno-sanitize-recover=all
              -fno-omit-frame-pointer)
  elseif(NORU_SANITIZE STREQUAL "")
    return()
  else()
    message(FATAL_ERROR
            "NORU_SANITIZE must be empty, 'address', 'thread' or 'fuzzer', not '${NORU_SANITIZE}'")
  endif()
  add_compile_options(${flags})
  add_link_options(${flags})
endfunction()

function(noru_target_defaults target)
  target_compile_options(${target} PRIVATE ${NORU_WARNINGS})
  if(NORU_WERROR)
    target_compile_options(${target} PRIVATE -Werror)
  endif()
endfunction()

# noru_add_library(<name> [SOURCES ...] [DEPS ...] [EXTERNAL ...]), called from the folder itself.
# One static library per folder of src/. DEPS are other noru libraries this folder may use;
# they are linked PRIVATE and recorded so that the include-arrow check can enforce them.
function(noru_add_library name)
  cmake_parse_arguments(ARG "" "FOLDER" "SOURCES;DEPS;EXTERNAL" ${ARGN})
  if(ARG_SOURCES)
    add_library(${name} STATIC ${ARG_SOURCES})
    target_include_directories(${name} PUBLIC ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} PRIVATE ${ARG_DEPS} ${ARG_EXTERNAL} Threads::Threads)
    noru_target_defaults(${name})
  else()
    # A folder of headers only.
    add_library(${name} INTERFACE)
    target_include_directories(${name} INTERFACE ${PROJECT_SOURCE_DIR}/src)
    target_link_libraries(${name} INTERFACE ${ARG_DEPS} ${ARG_EXTERNAL})
  endif()
  file(RELATIVE_PATH folder ${PROJECT_SOURCE_DIR}/src ${CMAKE_CURRENT_SOURCE_DIR})
  set_property(GLOBAL APPEND PROPERTY NORU_LIBRARY_FOLDERS "${name}=${folder}")
  string(REPLACE ";" "," deps "${ARG_DEPS}")
  set_property(GLOBAL APPEND PROPERTY NORU_LIBRARY_ARROWS "${name}=${deps}")
endfunction()

# noru_add_test(<name> SOURCES ... LIBS ...)
# One GoogleTest executable per folder of tests/; each test case becomes one CTest test.
function(noru_add_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} GTest::gtest GTest::gmock GTest::gtest_main
                                        Threads::Threads)
  target_include_directories(${name} PRIVATE ${PROJECT_SOURCE_DIR}/tests)
  noru_target_defaults(${name})
  gtest_discover_tests(${name} DISCOVERY_MODE PRE_TEST DISCOVERY_TIMEOUT 60
                       PROPERTIES TIMEOUT 300)
endfunction()

# noru_add_fuzzer(<name> SOURCES ... LIBS ...)
# One libFuzzer executable (NORU_SANITIZE=fuzzer); its seed inputs are in fuzz/corpus/<name>/.
function(noru_add_fuzzer name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} Threads::Threads)
  target_compile_options(${name} PRIVATE -fsanitize=fuzzer)
  target_link_options(${name} PRIVATE -fsanitize=fuzzer)
  noru_target_defaults(${name})
endfunction()
