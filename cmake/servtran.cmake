# One way to declare every library, plug-in and test of the project.

set(SERVTRAN_WARNINGS -Wall -Wextra -Wpedantic -Wshadow=local -Wno-missing-field-initializers)
set(SERVTRAN_DEFINES QT_NO_CAST_FROM_ASCII QT_NO_CAST_TO_ASCII QT_NO_URL_CAST_FROM_STRING
    QT_NO_NARROWING_CONVERSIONS_IN_CONNECT QT_USE_QSTRINGBUILDER)

if(SERVTRAN_SANITIZE)
  add_compile_options(-fsanitize=address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=undefined)
  add_link_options(-fsanitize=address,undefined)
endif()

function(servtran_setup target)
  target_compile_options(${target} PRIVATE ${SERVTRAN_WARNINGS})
  target_compile_definitions(${target} PRIVATE ${SERVTRAN_DEFINES})
endfunction()

# Tests read better with plain string literals; product code keeps the strict casts.
function(servtran_test_setup target)
  target_compile_options(${target} PRIVATE ${SERVTRAN_WARNINGS})
  target_compile_definitions(${target} PRIVATE QT_NO_URL_CAST_FROM_STRING QT_USE_QSTRINGBUILDER)
endfunction()

# servtran_library(name SHARED|STATIC|MODULE SOURCES ... LIBS ...)
function(servtran_library name kind)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;PUBLIC_LIBS" ${ARGN})
  add_library(${name} ${kind} ${ARG_SOURCES})
  servtran_setup(${name})
  target_link_libraries(${name} PRIVATE ${ARG_LIBS} PUBLIC ${ARG_PUBLIC_LIBS})
  if(NOT kind STREQUAL "STATIC" AND NOT SERVTRAN_SANITIZE)
    target_link_options(${name} PRIVATE -Wl,--no-undefined)
  endif()
  string(TOUPPER ${name} upper)
  target_compile_definitions(${name} PRIVATE ${upper}_BUILD)
endfunction()

# servtran_test(name SOURCES ... LIBS ... [LABELS ...])
function(servtran_test name)
  cmake_parse_arguments(ARG "" "" "SOURCES;LIBS;LABELS" ${ARGN})
  add_executable(${name} ${ARG_SOURCES})
  servtran_test_setup(${name})
  target_link_libraries(${name} PRIVATE Qt6::Test ${ARG_LIBS})
  add_test(NAME ${name} COMMAND ${name})
  set_tests_properties(${name} PROPERTIES
    ENVIRONMENT "QT_QPA_PLATFORM=offscreen;LC_ALL=C.UTF-8;ASAN_OPTIONS=detect_leaks=1"
    TIMEOUT 300)
  if(ARG_LABELS)
    set_tests_properties(${name} PROPERTIES LABELS "${ARG_LABELS}")
  endif()
endfunction()
