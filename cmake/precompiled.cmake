# Precompiled headers: the Qt and standard headers that nearly every file of a
# kind includes, compiled once per kind and reused by every target of that
# kind. A kind's headers stay within what its targets may link: the rules see
# Qt Core only. Each kind is owned by a small object library built with the
# same flags as its users (GCC refuses a header compiled with other ones, and
# -Winvalid-pch with -Werror says so).
option(KESTROVA_PCH "Precompile the common Qt and standard headers" ON)
# The fuzzer's instrumentation differs from library to library.
if(KESTROVA_FUZZ)
  set(KESTROVA_PCH OFF)
endif()

set(kestrova_pch_core
    <algorithm> <array> <cmath> <cstdint> <cstdio> <functional> <memory> <optional> <string>
    <vector> <QByteArray> <QDateTime> <QDir> <QFile> <QFileInfo> <QObject> <QString> <QTimer>)
set(kestrova_pch_widgets ${kestrova_pch_core} <QApplication> <QCheckBox> <QLabel> <QLineEdit>
                         <QPainter> <QPushButton> <QWidget>)
set(kestrova_pch_core_test ${kestrova_pch_core} <gtest/gtest.h>)
set(kestrova_pch_widgets_test ${kestrova_pch_widgets} <gtest/gtest.h> <gmock/gmock.h> <QSignalSpy>
                              <QTemporaryDir> <QTest>)

set(kestrova_pch_core_links Qt6::Core)
set(kestrova_pch_widgets_links Qt6::Widgets)
set(kestrova_pch_core_test_links Qt6::Core GTest::gtest)
set(kestrova_pch_widgets_test_links Qt6::Widgets Qt6::Network Qt6::Test GTest::gmock)

# kestrova_precompiled(target kind): target reuses the kind's headers.
function(kestrova_precompiled target kind)
  if(NOT KESTROVA_PCH)
    return()
  endif()
  set(owner kestrova_pch_${kind})
  if(NOT TARGET ${owner})
    add_library(${owner} OBJECT ${PROJECT_SOURCE_DIR}/cmake/empty.cpp)
    target_link_libraries(${owner} PRIVATE ${kestrova_pch_${kind}_links} kestrova_warnings)
    target_precompile_headers(${owner} PRIVATE ${kestrova_pch_${kind}})
  endif()
  target_precompile_headers(${target} REUSE_FROM ${owner})
endfunction()
