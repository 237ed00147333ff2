// One message, one or more lines on standard error, each the program's, and
// each with its priority when standard error is the journal.
#include "logging/logging.h"

#include <gtest/gtest.h>

TEST(logging, each_line_of_a_message_is_the_programs_and_carries_its_priority_in_the_journal) {
    const struct {
        const char* program;
        QtMsgType type;
        const char* text;
        bool journal;
        const char* lines;
    } rows[] = {
        {"kestrova", QtWarningMsg, "the log cannot be written", false,
         "kestrova: the log cannot be written\n"},
        {"kestrova", QtWarningMsg, "the log cannot be written", true,
         "<4>kestrova: the log cannot be written\n"},
        {"kestrova", QtCriticalMsg, "a\nb\n", true, "<3>kestrova: a\n<3>kestrova: b\n"},
        {"kestrova-history", QtInfoMsg, "one", true, "<6>kestrova-history: one\n"},
        {"kestrova", QtDebugMsg, "x\n\ny", false, "kestrova: x\nkestrova: \nkestrova: y\n"},
        // Qt's own messages keep their own words.
        {nullptr, QtWarningMsg, "QXcbConnection: error", true, "<4>QXcbConnection: error\n"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        EXPECT_EQ(
            logging::message_lines(row.program, row.type, QString::fromUtf8(row.text), row.journal),
            QByteArray(row.lines));
    }
}
