# Fails when a source of the tool opens a file for writing anywhere but the
# one writer (src/core/whole_file.cpp): every file is written whole or not at
# all through it, and so is tried by the disk-full cases of test_whole_files.
# In-memory buffers and the serial port are not files; the CSV log is a log,
# written line by line while it runs.
# Run: cmake -DSOURCE_DIR=<repo> -P check_one_writer.cmake
file(GLOB_RECURSE sources RELATIVE ${SOURCE_DIR}
     ${SOURCE_DIR}/src/*.h ${SOURCE_DIR}/src/*.cpp ${SOURCE_DIR}/cli/*.h ${SOURCE_DIR}/cli/*.cpp)
set(opening "QSaveFile|QIODevice::(WriteOnly|Append|ReadWrite|Truncate)|QFile::copy|QPdfWriter\\(\"|setOutputFileName|\\.save\\(\"")
set(checked 0)
set(outside 0)
foreach(source ${sources})
  if(source STREQUAL "src/core/whole_file.cpp" OR source STREQUAL "src/diagnostics/csv_log.cpp")
    continue()
  endif()
  math(EXPR checked "${checked} + 1")
  file(STRINGS ${SOURCE_DIR}/${source} lines REGEX "${opening}")
  foreach(line ${lines})
    if(NOT line MATCHES "buffer|m_port")
      message("${source}: ${line}")
      math(EXPR outside "${outside} + 1")
    endif()
  endforeach()
endforeach()
message("one writer: ${checked} sources of src/ and cli/ checked, ${outside} files opened for writing outside it")
if(NOT outside EQUAL 0 OR checked EQUAL 0)
  message(FATAL_ERROR "files are written through files::writeWhole (src/core/whole_file.h)")
endif()
