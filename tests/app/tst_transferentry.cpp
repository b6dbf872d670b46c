#include "transfers/transferentry.h"

#include <QTest>

class TransferEntryTest : public QObject
{
    Q_OBJECT

private slots:
    void sizeAndIcon_data();
    void sizeAndIcon();
};

void TransferEntryTest::sizeAndIcon_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<bool>("isDirectory");
    QTest::addColumn<qint64>("size");
    QTest::addColumn<QString>("formattedSize");
    QTest::addColumn<QString>("iconName");

    const qint64 gib = qint64(1) << 30;
    // Each unit's boundaries, on both sides.
    QTest::newRow("empty file") << "a.txt" << false << qint64(0) << "0 B" << "doc.fill";
    QTest::newRow("largest byte count") << "a.txt" << false << qint64(1023) << "1023 B" << "doc.fill";
    QTest::newRow("one KB") << "a.txt" << false << qint64(1024) << "1.0 KB" << "doc.fill";
    QTest::newRow("largest KB") << "a.txt" << false << qint64(1048575) << "1024.0 KB" << "doc.fill";
    QTest::newRow("one MB") << "a.txt" << false << qint64(1048576) << "1.0 MB" << "doc.fill";
    QTest::newRow("largest MB") << "a.txt" << false << gib - 1 << "1024.0 MB" << "doc.fill";
    QTest::newRow("one GB") << "a.txt" << false << gib << "1.00 GB" << "doc.fill";
    QTest::newRow("beyond 32 bits") << "a.txt" << false << 5 * gib + gib / 4 << "5.25 GB" << "doc.fill";

    // Folders: a dash for the size and the folder icon, whatever the name or listed size.
    QTest::newRow("folder") << "Camera" << true << qint64(4096) << "—" << "folder.fill";
    QTest::newRow("folder named like a film") << "a.mp4" << true << qint64(0) << "—" << "folder.fill";

    // Icons by the last extension, compared in lower case.
    QTest::newRow("upper-case photo") << "IMG.JPG" << false << qint64(1) << "1 B" << "photo.fill";
    for (const char* ext : {"jpeg", "png", "gif", "heic", "webp", "tiff", "bmp"})
        QTest::addRow("photo %s", ext) << QStringLiteral("p.") + ext << false << qint64(1) << "1 B" << "photo.fill";
    for (const char* ext : {"mp4", "MOV", "m4v", "avi", "mkv", "webm", "flv", "wmv", "3gp", "mts", "m2ts"})
        QTest::addRow("film %s", ext) << QStringLiteral("v.") + ext << false << qint64(1) << "1 B" << "film.fill";
    for (const char* ext : {"zip", "rar", "7z", "tar", "gz"})
        QTest::addRow("archive %s", ext) << QStringLiteral("a.") + ext << false << qint64(1) << "1 B"
                                         << "archivebox.fill";
    QTest::newRow("only the last extension counts") << "backup.tar.gz" << false << qint64(1) << "1 B"
                                                    << "archivebox.fill";
    QTest::newRow("pdf") << "Paper.PDF" << false << qint64(1) << "1 B" << "doc.richtext.fill";
    for (const char* ext : {"mp3", "wav", "flac", "aac", "m4a"})
        QTest::addRow("music %s", ext) << QStringLiteral("s.") + ext << false << qint64(1) << "1 B" << "music.note";
    QTest::newRow("no extension") << "README" << false << qint64(1) << "1 B" << "doc.fill";
    QTest::newRow("trailing dot") << "photo.jpg." << false << qint64(1) << "1 B" << "doc.fill";
    QTest::newRow("unknown extension") << "notes.md" << false << qint64(1) << "1 B" << "doc.fill";
    QTest::newRow("extension inside the name only") << "jpg" << false << qint64(1) << "1 B" << "doc.fill";
}

void TransferEntryTest::sizeAndIcon()
{
    QFETCH(QString, name);
    QFETCH(bool, isDirectory);
    QFETCH(qint64, size);

    TransferEntry entry;
    entry.id = QStringLiteral("/") + name;
    entry.name = name;
    entry.isDirectory = isDirectory;
    entry.size = size;
    entry.source = TransferEntry::Source::device;

    QTEST(entry.formattedSize(), "formattedSize");
    QTEST(entry.iconName(), "iconName");
}

QTEST_GUILESS_MAIN(TransferEntryTest)
#include "tst_transferentry.moc"
