# Fails when a source of the tool outside src/platform/ includes a header of
# the operating system's own (POSIX or Windows): those calls live behind the
# platform seam. Run: cmake -DSOURCE_DIR=<repo> -P check_platform_seam.cmake
set(system_headers
  "unistd\\.h" "fcntl\\.h" "termios\\.h" "pwd\\.h" "grp\\.h" "poll\\.h" "ucontext\\.h" "dlfcn\\.h"
  "pthread\\.h" "dirent\\.h" "semaphore\\.h" "spawn\\.h" "netdb\\.h" "syslog\\.h" "signal\\.h"
  "sys/[a-z_]+\\.h" "linux/[a-z_/]+\\.h" "netinet/[a-z_]+\\.h" "arpa/[a-z_]+\\.h"
  "windows\\.h" "io\\.h" "winsock2\\.h")
list(JOIN system_headers "|" alternatives)
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/cli/*.h ${SOURCE_DIR}/cli/*.cpp)
set(checked 0)
set(outside 0)
foreach(source ${sources})
  if(source MATCHES "^src/platform/")
    continue()
  endif()
  math(EXPR checked "${checked} + 1")
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "^[ \t]*#[ \t]*include[ \t]*<(${alternatives})>")
  foreach(line ${lines})
    message("${source}: ${line}")
    math(EXPR outside "${outside} + 1")
  endforeach()
endforeach()
message("platform seam: ${checked} sources of src/ and cli/ outside src/platform/ checked, "
        "${outside} system headers included")
if(NOT outside EQUAL 0 OR checked EQUAL 0)
  message(FATAL_ERROR "system headers belong in src/platform/")
endif()
