#include "logging/logging.h"

#include <QApplication>
#include <gtest/gtest.h>

int main(int argc, char** argv) {
    // The program's own way out for its messages, as main() installs it.
    logging::install_message_handler("kestrova");
    // Must be set before the QApplication exists; the listing run that test
    // discovery makes does not see ctest's environment.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
