#include "archivetestkit.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QtTest>

#include <cstring>

namespace ArchiveTestKit {

void writeFile(const QString& path, const QByteArray& content)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    QVERIFY2(file.open(QIODevice::WriteOnly | QIODevice::Truncate), qPrintable(path));
    QCOMPARE(file.write(content), content.size());
}

void makeDir(const QString& path)
{
    QVERIFY2(QDir().mkpath(path), qPrintable(path));
}

QMap<QString, QByteArray> snapshot(const QString& root)
{
    QMap<QString, QByteArray> tree;
    QDirIterator it(root, QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                    QDirIterator::Subdirectories);
    const QDir base(root);
    while (it.hasNext()) {
        it.next();
        const QFileInfo info = it.fileInfo();
        const QString relative = base.relativeFilePath(info.filePath());
        if (info.isSymLink()) {
            tree.insert(relative, "<link>" + QFile::encodeName(info.symLinkTarget()));
        } else if (info.isDir()) {
            tree.insert(relative, "<dir>");
        } else {
            QFile file(info.filePath());
            if (!file.open(QIODevice::ReadOnly))
                tree.insert(relative, "<unreadable>");
            else
                tree.insert(relative, file.readAll());
        }
    }
    return tree;
}

QByteArray drain(TarArchive::TarStreamSource& source, QList<qsizetype>* chunkSizes)
{
    QByteArray all;
    for (QByteArray chunk = source.nextChunk(); !chunk.isEmpty(); chunk = source.nextChunk()) {
        all += chunk;
        if (chunkSizes)
            chunkSizes->append(chunk.size());
    }
    return all;
}

static qint64 octal(const char* field, int width)
{
    qint64 value = 0;
    for (int i = 0; i < width && field[i] >= '0' && field[i] <= '7'; ++i)
        value = value * 8 + (field[i] - '0');
    return value;
}

QStringList headerNames(const QByteArray& archive)
{
    QStringList names;
    QByteArray longName;
    bool haveLong = false;
    for (qsizetype pos = 0; pos + 512 <= archive.size();) {
        const char* h = archive.constData() + pos;
        if (QByteArray(h, 512).count('\0') == 512)
            break;
        const qint64 size = octal(h + 124, 12);
        const qint64 dataBlocks = (size + 511) / 512;
        if (h[156] == 'L') {
            longName = archive.mid(pos + 512, size);
            while (longName.endsWith('\0'))
                longName.chop(1);
            haveLong = true;
        } else {
            names.append(QString::fromUtf8(haveLong ? longName : QByteArray(h, qstrnlen(h, 100))));
            haveLong = false;
        }
        pos += 512 * (1 + dataBlocks);
    }
    return names;
}

QByteArray rawHeader(const QByteArray& name, char type, qint64 size, const QByteArray& sizeField,
                     const QByteArray& prefix)
{
    QByteArray h(512, '\0');
    std::memcpy(h.data(), name.constData(), std::min<qsizetype>(name.size(), 100));
    std::memcpy(h.data() + 100, "0000644", 7);
    std::memcpy(h.data() + 108, "0000000", 7);
    std::memcpy(h.data() + 116, "0000000", 7);
    if (sizeField.isEmpty())
        std::memcpy(h.data() + 124, QByteArray::number(size, 8).rightJustified(11, '0').constData(), 11);
    else
        std::memcpy(h.data() + 124, sizeField.constData(), std::min<qsizetype>(sizeField.size(), 12));
    std::memcpy(h.data() + 136, "14500000000", 11);
    h[156] = type;
    std::memcpy(h.data() + 257, "ustar\0" "00", 8);
    std::memcpy(h.data() + 345, prefix.constData(), std::min<qsizetype>(prefix.size(), 155));
    std::memset(h.data() + 148, ' ', 8);
    unsigned sum = 0;
    for (char c : std::as_const(h))
        sum += static_cast<unsigned char>(c);
    std::memcpy(h.data() + 148, QByteArray::number(sum, 8).rightJustified(6, '0').constData(), 6);
    h[154] = '\0';
    return h;
}

static QByteArray padded(const QByteArray& data)
{
    return data + QByteArray((512 - data.size() % 512) % 512, '\0');
}

QByteArray rawEntry(const QByteArray& name, char type, const QByteArray& content)
{
    return rawHeader(name, type, content.size()) + padded(content);
}

QByteArray rawLongName(const QByteArray& name)
{
    return rawEntry("././@LongLink", 'L', name + '\0');
}

QByteArray rawPax(const QList<QPair<QByteArray, QByteArray>>& records, char type)
{
    QByteArray data;
    for (const auto& [key, value] : records) {
        const QByteArray body = ' ' + key + '=' + value + '\n';
        // The length counts its own digits.
        qsizetype length = body.size() + 1;
        while (QByteArray::number(length).size() + body.size() != length)
            ++length;
        data += QByteArray::number(length) + body;
    }
    return rawEntry("PaxHeaders/entry", type, data);
}

QByteArray endBlocks()
{
    return QByteArray(1024, '\0');
}

int run(const QString& program, const QStringList& arguments, QByteArray* out, QByteArray* err)
{
    QProcess process;
    // Peers convert names by the locale's character set; ours are UTF-8.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    process.setProcessEnvironment(environment);
    process.start(program, arguments);
    if (!process.waitForFinished(300000))
        return -1;
    if (out)
        *out += process.readAllStandardOutput();
    const QByteArray errors = process.readAllStandardError();
    if (err)
        *err += errors;
    if (process.exitStatus() != QProcess::NormalExit)
        return -1;
    if (process.exitCode() != 0)
        qWarning().noquote() << program << arguments.join(u' ') << "failed:" << errors;
    return process.exitCode();
}

void extractInPieces(const QByteArray& archive, const QString& folder, const QList<int>& pieces)
{
    TarArchive::TarExtractor extractor(folder);
    qsizetype pos = 0;
    for (int i = 0; pos < archive.size(); ++i) {
        const int size = pieces.at(i % pieces.size());
        extractor.write(QByteArrayView(archive).sliced(pos, std::min<qsizetype>(size, archive.size() - pos)));
        pos += size;
    }
    extractor.finish();
}

} // namespace ArchiveTestKit
