#pragma once

#include <QList>
#include <QPair>
#include <QString>

#include <optional>

using QueryItems = QList<QPair<QString, QString>>;

// How request targets are written on the wire. Letters, marks and numbers of every script stay as
// raw UTF-8, as do - . _ ~; every other byte is %XX with upper-case hex. (QUrl follows another
// rule, so this is our own.)
namespace QueryEncoding {

// The encoded text, or the text unchanged when it cannot be encoded (an unpaired surrogate).
QString encode(const QString& text);

// apiPath, then "?path=/a/b" for a remote path (empty pieces dropped, each piece encoded), then the
// extra items in order, joined with "&".
QString requestTarget(const QString& apiPath, const std::optional<QString>& remotePath,
                      const QueryItems& extraQuery = {});

} // namespace QueryEncoding
