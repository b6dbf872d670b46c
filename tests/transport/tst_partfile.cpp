#include "transport/partfile.h"
#include "common/zorvaneerror.h"

#include <QTest>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

// The download's local writes: a failed one says why, in the user's words.
class PartFileTest : public QObject
{
    Q_OBJECT

private slots:
    void failedWritesSayWhy_data()
    {
        QTest::addColumn<QString>("device");
        QTest::addColumn<int>("openFlags");
        QTest::addColumn<QString>("expected");
        // Every write to /dev/full fails as a full disk does.
        QTest::newRow("full disk") << "/dev/full" << O_WRONLY << "磁盘空间不足，无法写入 照片.jpg";
        QTest::newRow("other cause, the system's words")
            << "/dev/null" << O_RDONLY
            << "写入本地文件失败：照片.jpg（" + QString::fromLocal8Bit(std::strerror(EBADF)) + "）";
    }

    void failedWritesSayWhy()
    {
        QFETCH(QString, device);
        QFETCH(int, openFlags);
        QFETCH(QString, expected);
        const int fd = ::open(qPrintable(device), openFlags | O_CLOEXEC);
        QVERIFY(fd >= 0);
        QString text;
        try {
            PartFile::writeAll(fd, QByteArray(1000, 'x'), QStringLiteral("照片.jpg"));
        } catch (const ZorvaneError& error) {
            text = error.description();
        }
        ::close(fd);
        QCOMPARE(text, expected);
    }

    void quotaCountsAsAFullDisk()
    {
        QCOMPARE(PartFile::writeFailureText(EDQUOT, QStringLiteral("a")), PartFile::writeFailureText(ENOSPC, QStringLiteral("a")));
    }
};

QTEST_GUILESS_MAIN(PartFileTest)
#include "tst_partfile.moc"
