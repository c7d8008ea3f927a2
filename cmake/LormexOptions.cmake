# One INTERFACE target carries the warnings, defines and sanitizer flags for every target.
add_library(lormex_options INTERFACE)
target_compile_features(lormex_options INTERFACE cxx_std_20)
target_compile_options(lormex_options INTERFACE
  -Wall -Wextra -pedantic -Wnon-virtual-dtor)
# Locals that hide other locals; clang (the fuzz build) spells it differently.
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU")
  target_compile_options(lormex_options INTERFACE -Wshadow=local)
else()
  target_compile_options(lormex_options INTERFACE -Wshadow-uncaptured-local)
endif()
if(CMAKE_CXX_COMPILER_ID STREQUAL "GNU" AND CMAKE_CXX_COMPILER_VERSION VERSION_LESS 13)
  # GCC 12 reports false overlaps inside std::string's own operator+ at -O2 (GCC bug 105329).
  target_compile_options(lormex_options INTERFACE -Wno-restrict)
endif()
if(LORMEX_WERROR)
  target_compile_options(lormex_options INTERFACE -Werror)
endif()
# Qt strings come from explicit conversions only.
target_compile_definitions(lormex_options INTERFACE
  QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_KEYWORDS)

set(LORMEX_SANITIZE "" CACHE STRING "Sanitizers for every target, e.g. address,undefined or thread")
if(LORMEX_SANITIZE)
  target_compile_options(lormex_options INTERFACE
    -fsanitize=${LORMEX_SANITIZE} -fno-omit-frame-pointer -fno-sanitize-recover=all)
  target_link_options(lormex_options INTERFACE -fsanitize=${LORMEX_SANITIZE})
  target_compile_definitions(lormex_options INTERFACE _GLIBCXX_ASSERTIONS)
endif()

# libFuzzer targets (tests/fuzz): clang only. Everything they link is built with coverage for the
# fuzzer; LORMEX_SANITIZE adds the sanitizers that turn a fault into a finding.
option(LORMEX_FUZZ "Build the libFuzzer targets (needs clang)" OFF)
if(LORMEX_FUZZ)
  if(NOT CMAKE_CXX_COMPILER_ID STREQUAL "Clang")
    message(FATAL_ERROR "LORMEX_FUZZ needs clang: configure with CC=clang CXX=clang++")
  endif()
  target_compile_options(lormex_options INTERFACE -fsanitize=fuzzer-no-link)
endif()
