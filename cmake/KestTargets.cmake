# Shared compile settings for every target of the project.
add_library(kest_options INTERFACE)
target_compile_options(kest_options INTERFACE -Wall -Wextra)
if(KEST_WERROR)
  target_compile_options(kest_options INTERFACE -Werror)
endif()
if(KEST_SANITIZE)
  target_compile_options(kest_options INTERFACE -fsanitize=address,undefined -fno-omit-frame-pointer
                                                -fno-sanitize-recover=undefined)
  target_link_options(kest_options INTERFACE -fsanitize=address,undefined)
endif()
if(KEST_FUZZ)
  # Everything is instrumented for coverage; only the fuzz targets link libFuzzer's main.
  target_compile_options(kest_options INTERFACE -fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer
                                                -fno-sanitize-recover=undefined)
  target_link_options(kest_options INTERFACE -fsanitize=address,undefined)
endif()
target_include_directories(kest_options INTERFACE ${PROJECT_SOURCE_DIR})

# kest_library(NAME SOURCES... DEPENDS libs...)
function(kest_library name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_library(${name} STATIC ${ARG_SOURCES})
  target_link_libraries(${name} PUBLIC kest_options ${ARG_DEPENDS})
endfunction()

# kest_test(NAME SOURCES... DEPENDS libs...): one GoogleTest program per folder.
function(kest_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;DEPENDS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  target_link_libraries(${name} PRIVATE kest_options ${ARG_DEPENDS} GTest::gtest GTest::gtest_main)
  gtest_discover_tests(${name} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 120)
endfunction()
