# The JavaScript engine, compiled here from the single-file source that
# Debian's duktape-dev ships, with options the packaged library lacks:
# - the execution-timeout hook (DUK_USE_EXEC_TIMEOUT_CHECK, which needs the
#   interrupt counter), so that the script control's Timeout can end a
#   script that runs too long;
# - C++ exceptions for the engine's own errors, so that an error thrown
#   through C++ frames of the bridge runs their destructors.
# The sources are copied into the build tree, never into the repository.
set(QUORVANE_DUKTAPE_SOURCE_DIR /usr/share/duktape CACHE PATH "Folder of duktape.c, duktape.h and duk_config.h")
if(NOT EXISTS ${QUORVANE_DUKTAPE_SOURCE_DIR}/duktape.c)
  message(FATAL_ERROR "duktape.c not found in ${QUORVANE_DUKTAPE_SOURCE_DIR}: install duktape-dev")
endif()
set(QUORVANE_DUKTAPE_DIR ${CMAKE_BINARY_DIR}/duktape)
configure_file(${QUORVANE_DUKTAPE_SOURCE_DIR}/duktape.h ${QUORVANE_DUKTAPE_DIR}/duktape.h COPYONLY)
# duktape.c is compiled as C++ (for the exceptions) under a .cpp name.
configure_file(${QUORVANE_DUKTAPE_SOURCE_DIR}/duktape.c ${QUORVANE_DUKTAPE_DIR}/duktape.cpp COPYONLY)
file(READ ${QUORVANE_DUKTAPE_SOURCE_DIR}/duk_config.h QUORVANE_DUK_CONFIG)
foreach(option DUK_USE_EXEC_TIMEOUT_CHECK DUK_USE_INTERRUPT_COUNTER DUK_USE_CPP_EXCEPTIONS)
  string(FIND "${QUORVANE_DUK_CONFIG}" "#undef ${option}\n" found)
  if(found EQUAL -1)
    message(FATAL_ERROR "duk_config.h has no '#undef ${option}' line to replace")
  endif()
endforeach()
string(REPLACE "#undef DUK_USE_EXEC_TIMEOUT_CHECK\n"
  "#define DUK_USE_EXEC_TIMEOUT_CHECK(udata) quorvane_duk_exec_timeout_check(udata)\n"
  QUORVANE_DUK_CONFIG "${QUORVANE_DUK_CONFIG}")
string(REPLACE "#undef DUK_USE_INTERRUPT_COUNTER\n" "#define DUK_USE_INTERRUPT_COUNTER\n"
  QUORVANE_DUK_CONFIG "${QUORVANE_DUK_CONFIG}")
string(REPLACE "#undef DUK_USE_CPP_EXCEPTIONS\n" "#define DUK_USE_CPP_EXCEPTIONS\n"
  QUORVANE_DUK_CONFIG "${QUORVANE_DUK_CONFIG}")
# The hook: defined by the script control (engine_timeout.cpp).
string(APPEND QUORVANE_DUK_CONFIG
  "\n#if !defined(QUORVANE_DUK_TIMEOUT_DECLARED)\n#define QUORVANE_DUK_TIMEOUT_DECLARED\n"
  "extern \"C\" int quorvane_duk_exec_timeout_check(void* udata);\n#endif\n")
file(CONFIGURE OUTPUT ${QUORVANE_DUKTAPE_DIR}/duk_config.h CONTENT "${QUORVANE_DUK_CONFIG}" @ONLY)

add_library(quorvane_duktape OBJECT ${QUORVANE_DUKTAPE_DIR}/duktape.cpp)
target_include_directories(quorvane_duktape PUBLIC ${QUORVANE_DUKTAPE_DIR})
# Third-party code: its own warnings are not ours to fix.
target_compile_options(quorvane_duktape PRIVATE -w)
