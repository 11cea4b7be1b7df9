# Two rules over the sources of src/ and cli/, each failing the check when broken:
# - the operating system's own headers (POSIX or Windows) are included only in
#   src/platform/, the platform seam;
# - a file is opened for writing only by the one writer, src/core/whole_file.cpp,
#   so every file is written whole or not at all and tried by test_whole_files
#   (in-memory buffers and the serial port are not files; the CSV log is a log,
#   written line by line while it runs).
# Run: cmake -DSOURCE_DIR=<repo> -P check_sources.cmake
set(system_header "^[ \t]*#[ \t]*include[ \t]*<(unistd|fcntl|termios|pwd|grp|poll|ucontext|dlfcn|pthread|dirent|semaphore|spawn|netdb|syslog|signal|windows|io|winsock2|(sys|linux|netinet|arpa)/[a-z_/]+)\\.h>")
set(opening "QSaveFile|QIODevice::(WriteOnly|Append|ReadWrite|Truncate)|QFile::copy|QPdfWriter\\(\"|setOutputFileName|\\.save\\(\"")
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/cli/*.h ${SOURCE_DIR}/cli/*.cpp)
list(LENGTH sources checked)
set(headers 0)
set(writers 0)
foreach(source ${sources})
  if(NOT source MATCHES "^src/platform/")
    file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "${system_header}")
    foreach(line ${lines})
      message("${source}: ${line}: system headers belong in src/platform/")
      math(EXPR headers "${headers} + 1")
    endforeach()
  endif()
  if(NOT source MATCHES "^src/core/whole_file.cpp$|^src/diagnostics/csv_log.cpp$")
    file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "${opening}")
    foreach(line ${lines})
      if(NOT line MATCHES "buffer|m_port")
        message("${source}: ${line}: files are written through files::writeWhole (src/core/whole_file.h)")
        math(EXPR writers "${writers} + 1")
      endif()
    endforeach()
  endif()
endforeach()
message("platform seam: ${checked} sources of src/ and cli/ checked, ${headers} system headers outside src/platform/")
message("one writer: ${checked} sources checked, ${writers} files opened for writing outside it")
if(NOT headers EQUAL 0 OR NOT writers EQUAL 0 OR checked EQUAL 0)
  message(FATAL_ERROR "the sources break a rule above")
endif()
