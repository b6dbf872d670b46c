#pragma once

#include "httpreply.h"

#include <QByteArrayView>
#include <QFuture>
#include <QString>

#include <memory>
#include <optional>

namespace phone {

// Takes a request body as it arrives (uploads). A body that ends early is abandoned: a file upload
// leaves the old file untouched, an archive keeps what it had unpacked (the client sends the
// whole archive again when it retries).
class RequestSink
{
public:
    virtual ~RequestSink();

    // The next piece of the body. A reply means the sink failed and that is the answer.
    virtual std::optional<HttpReply> write(QByteArrayView data) = 0;
    // Every announced body byte has arrived.
    virtual QFuture<HttpReply> finish() = 0;
    // The connection ended before the whole body arrived.
    virtual void abandon() = 0;

    // Writes into a hidden temporary file beside `targetPath` and moves it over the target
    // only when the whole body has arrived. Nothing when the temporary file cannot be made.
    static std::shared_ptr<RequestSink> toFile(const QString& targetPath, QString* error);
    // Unpacks a tar archive into `folder` (made with its missing parents) as it arrives.
    static std::shared_ptr<RequestSink> toTarExtractor(const QString& folder, QString* error);
};

} // namespace phone
