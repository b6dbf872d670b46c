#pragma once

#include "archive/tararchive.h"

#include <QByteArray>

#include <memory>

class QFile;

namespace phone {

// The bytes of an answer, produced a piece at a time so a large file or archive never sits
// in memory as a whole.
class ResponseBody
{
public:
    virtual ~ResponseBody();

    // Number of bytes this body will produce.
    virtual qint64 size() const = 0;
    // Up to `maxBytes` next bytes; empty at the end or after a failure.
    virtual QByteArray read(qint64 maxBytes) = 0;
    // True when reading broke off before size() bytes (a file shrank, an archive entry vanished):
    // the answer must then end by closing, so the client sees it cut short.
    virtual bool failed() const { return false; }

    static std::shared_ptr<ResponseBody> fromBytes(QByteArray bytes);
    // Takes an open file and reads it from its current position to the size it has now.
    static std::shared_ptr<ResponseBody> fromFile(std::unique_ptr<QFile> file);
    // A folder's archive, produced as it is sent.
    static std::shared_ptr<ResponseBody> fromTar(std::unique_ptr<TarArchive::TarStreamSource> source);
};

} // namespace phone
