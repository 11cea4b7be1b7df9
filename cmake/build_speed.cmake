# What keeps a build short on a small machine: ccache when it is installed, and
# the Qt headers parsed once per kind of target instead of once per file.

# ccache, automatically. A launcher of one's own is kept, except plain "ccache",
# which gets the same settings as ours: precompiled headers are only cached
# with these sloppiness options.
option(TCAL_CCACHE "Compile through ccache when it is installed" ON)
find_program(TCAL_CCACHE_PROGRAM ccache)
if(TCAL_CCACHE AND TCAL_CCACHE_PROGRAM)
  foreach(lang C CXX)
    if(NOT CMAKE_${lang}_COMPILER_LAUNCHER OR CMAKE_${lang}_COMPILER_LAUNCHER MATCHES "(^|/)ccache$")
      set(CMAKE_${lang}_COMPILER_LAUNCHER ${CMAKE_COMMAND} -E env
          CCACHE_SLOPPINESS=pch_defines,time_macros,include_file_mtime,include_file_ctime
          ${TCAL_CCACHE_PROGRAM})
    endif()
  endforeach()
endif()

# Unity builds: the files of a library, program or test executable compiled a
# few at a time as one unit, so that the headers they share are read and their
# templates instantiated once a batch, not once a file. A batch of eight keeps
# both cores busy on the larger libraries and a change to one file recompiles
# eight, a few seconds. Names of anonymous namespaces must differ between the
# files of one target; a file that cannot share a unit is marked with
# SKIP_UNITY_BUILD_INCLUSION. -DTCAL_UNITY=OFF compiles file by file.
option(TCAL_UNITY "Compile each target's files in batches (unity build)" ON)
set(CMAKE_UNITY_BUILD ${TCAL_UNITY})
set(CMAKE_UNITY_BUILD_BATCH_SIZE 8)

# Precompiled headers: the Qt headers most files include, in three sets, each
# built once by the target named and reused by every target of its kind.
# Only the headers of Qt modules every user of a set links.
option(TCAL_PCH "Precompile the common Qt headers" ON)
set(tcal_pch_core
  <QByteArray> <QCoreApplication> <QCryptographicHash> <QDate> <QDateTime> <QDir> <QElapsedTimer>
  <QEventLoop> <QFile> <QFileInfo> <QHash> <QJsonArray> <QJsonDocument> <QJsonObject> <QList> <QMap>
  <QObject> <QRegularExpression> <QSaveFile> <QSet> <QSettings> <QString> <QStringList> <QTextStream>
  <QTimer> <QVariant> <QVector> <QModbusDataUnit> <QModbusDevice> <QModbusReply> <QSerialPort>)
set(tcal_pch_window ${tcal_pch_core}
  <QApplication> <QCheckBox> <QComboBox> <QDateEdit> <QDialog> <QDoubleSpinBox> <QFileDialog>
  <QFormLayout> <QGridLayout> <QGroupBox> <QHBoxLayout> <QHeaderView> <QLabel> <QLineEdit>
  <QMessageBox> <QPushButton> <QSpinBox> <QTabWidget> <QTableWidget> <QVBoxLayout> <QWidget>)
set(tcal_pch_test ${tcal_pch_window} <QtTest> <QTemporaryDir> <QProcess>)

# tcal_pch(KIND OWNER [TARGET...]): OWNER builds the KIND set (core, window,
# test); the other targets, and those named later with tcal_reuse_pch, reuse
# it. gcc takes a precompiled header only where every macro defined when it
# was built is defined alike (the QT_*_LIB of each module), so an owner is
# compiled with the least its users have: tcal_pch_owner makes one.
function(tcal_pch kind owner)
  if(TCAL_PCH)
    target_precompile_headers(${owner} PRIVATE ${tcal_pch_${kind}})
    tcal_reuse_pch(${owner} ${ARGN})
  endif()
endfunction()
function(tcal_reuse_pch owner)
  if(TCAL_PCH)
    foreach(target ${ARGN})
      target_precompile_headers(${target} REUSE_FROM ${owner})
    endforeach()
  endif()
endfunction()
# tcal_skip_moc_pch(TARGET...): for targets whose moc output is included by
# their own source ("name.moc"), the moc file AUTOMOC compiles on its own is
# empty; the precompiled header would make it cost a second instead of nothing.
function(tcal_skip_moc_pch)
  foreach(target ${ARGN})
    get_target_property(dir ${target} BINARY_DIR)
    set_source_files_properties(${dir}/${target}_autogen/mocs_compilation.cpp
                                TARGET_DIRECTORY ${target} PROPERTIES SKIP_PRECOMPILE_HEADERS ON)
  endforeach()
endfunction()
# tcal_pch_owner(NAME LIBRARY...): a target with nothing of its own to
# compile, linked to what every user of its set links.
function(tcal_pch_owner name)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp "")
  add_library(${name} OBJECT ${CMAKE_CURRENT_BINARY_DIR}/${name}.cpp)
  target_link_libraries(${name} PRIVATE ${ARGN})
  set_target_properties(${name} PROPERTIES AUTOMOC OFF AUTOUIC OFF AUTORCC OFF)
endfunction()
# tcal_unity_skip(TARGET FILE...): files of TARGET compiled on their own, not in
# a batch, because a name in their anonymous namespace is also one in another
# file of the target. Renaming it lets the file join a batch again.
function(tcal_unity_skip target)
  set_source_files_properties(${ARGN} TARGET_DIRECTORY ${target} PROPERTIES SKIP_UNITY_BUILD_INCLUSION ON)
endfunction()
