#pragma once

#include "archive/tararchive.h"

#include <QByteArray>
#include <QMap>
#include <QString>
#include <QStringList>

// Helpers shared by the archive tests: building trees, reading them back, raw tar blocks written
// independently of the code under test, and running the peer tools.
namespace ArchiveTestKit {

void writeFile(const QString& path, const QByteArray& content);
void makeDir(const QString& path);

// Every item below `root` (hidden ones and links included), by relative path: a folder maps to
// "<dir>", a link to "<link>" + its target, a file to its bytes.
QMap<QString, QByteArray> snapshot(const QString& root);

// The whole archive of a source, and optionally the size of each chunk it came in.
QByteArray drain(TarArchive::TarStreamSource& source, QList<qsizetype>* chunkSizes = nullptr);

// The archive names of all headers, following long-name records as a reader would.
QStringList headerNames(const QByteArray& archive);

// A ustar header block; `sizeField`, when given, replaces the 12 bytes of the size field.
QByteArray rawHeader(const QByteArray& name, char type, qint64 size,
                     const QByteArray& sizeField = {}, const QByteArray& prefix = {});
// Header plus content padded to whole blocks.
QByteArray rawEntry(const QByteArray& name, char type, const QByteArray& content = {});
QByteArray rawLongName(const QByteArray& name);
QByteArray rawPax(const QList<QPair<QByteArray, QByteArray>>& records, char type = 'x');
QByteArray endBlocks();

// Runs a program and returns its exit code; output and errors are appended when asked for.
int run(const QString& program, const QStringList& arguments, QByteArray* out = nullptr,
        QByteArray* err = nullptr);

// Unpacks with the extractor, feeding the archive in pieces of the given sizes (cycled).
void extractInPieces(const QByteArray& archive, const QString& folder, const QList<int>& pieces);

} // namespace ArchiveTestKit
