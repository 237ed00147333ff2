// Where a report is written: a device or a FIFO is written into and stays
// what it was; what cannot be written into, or must not be, is refused and
// left as it was.

#include "history/report_target.h"
#include "support/files.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <thread>
#include <unistd.h>

namespace {

mode_t type_of(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_mode & S_IFMT : 0;
}

class report_target : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(dir.isValid()); }
    QString at(const char* name) const { return dir.filePath(QString::fromLatin1(name)); }
    QTemporaryDir dir;
    const QByteArray pdf = QByteArray("%PDF-1.4\n") + QByteArray(200000, 'x');
};

TEST_F(report_target, a_device_is_written_into_and_stays_a_device) {
    ASSERT_TRUE(history::write_to_target(QStringLiteral("/dev/null"), pdf));
    EXPECT_EQ(type_of(QStringLiteral("/dev/null")), S_IFCHR);
    const rules::result full = history::write_to_target(QStringLiteral("/dev/full"), pdf);
    EXPECT_FALSE(full);
    EXPECT_TRUE(full.why().contains(QStringLiteral("space"))) << full.why().toStdString();
    EXPECT_EQ(type_of(QStringLiteral("/dev/full")), S_IFCHR);
}

TEST_F(report_target, a_fifo_gives_its_reader_the_whole_report_or_says_none_reads) {
    const QString fifo = at("fifo");
    ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
    const rules::result nobody = history::write_to_target(fifo, pdf);
    EXPECT_EQ(nobody.why(), QStringLiteral("no program reads from the FIFO"));

    QByteArray got;
    const int in = ::open(QFile::encodeName(fifo).constData(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(in, 0);
    // Non-blocking: before the writer opens, a read finds no writer and
    // would end at once; the reader takes what comes until it has it all.
    std::thread reader([in, &got, want = pdf.size()] {
        char buffer[65536];
        const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (got.size() < want && std::chrono::steady_clock::now() < until) {
            const ssize_t n = ::read(in, buffer, sizeof buffer);
            if (n > 0)
                got.append(buffer, n);
            else
                std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
    });
    const rules::result written = history::write_to_target(fifo, pdf);
    reader.join();
    ::close(in);
    EXPECT_TRUE(written) << written.why().toStdString();
    EXPECT_EQ(got, pdf);
    EXPECT_EQ(type_of(fifo), S_IFIFO);
}

TEST_F(report_target, what_must_not_be_replaced_is_refused_and_kept) {
    const QString socket_path = at("socket");
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray name = QFile::encodeName(socket_path);
    ASSERT_LT(std::size_t(name.size()), sizeof address.sun_path);
    std::copy(name.begin(), name.end(), address.sun_path);
    ASSERT_EQ(::bind(s, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const QString read_only = at("kept.pdf");
    ASSERT_TRUE(write_file(read_only, "old"));
    ASSERT_TRUE(QFile::setPermissions(read_only, QFile::ReadOwner | QFile::ReadGroup));
    struct {
        QString path;
        mode_t type;
        const char* why;
    } const rows[] = {{socket_path, S_IFSOCK, "socket"},
                      {dir.path(), S_IFDIR, "folder"},
                      {read_only, S_IFREG, "read-only"}};
    for (const auto& row : rows) {
        const rules::result r = history::write_to_target(row.path, pdf);
        EXPECT_FALSE(r) << row.why;
        EXPECT_TRUE(r.why().contains(QLatin1String(row.why))) << r.why().toStdString();
        EXPECT_EQ(type_of(row.path), row.type) << row.why;
    }
    EXPECT_EQ(read_file(read_only), "old");
    ::close(s);
}

TEST_F(report_target, a_file_is_replaced_and_a_link_to_it_stays_a_link) {
    const QString file = at("report.pdf");
    ASSERT_TRUE(write_file(file, "old"));
    ASSERT_TRUE(QFile::link(file, at("latest.pdf")));
    ASSERT_TRUE(history::write_to_target(at("latest.pdf"), pdf));
    EXPECT_EQ(type_of(at("latest.pdf")), S_IFLNK);
    EXPECT_EQ(read_file(file), pdf);
    ASSERT_TRUE(history::write_to_target(at("new.pdf"), pdf));
    EXPECT_EQ(read_file(at("new.pdf")), pdf);
}

} // namespace
