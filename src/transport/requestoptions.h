#pragma once

#include "queryencoding.h"

#include <QByteArray>

#include <functional>
#include <optional>

// Produces the upload chunk that starts at the given offset; nothing or an empty chunk means the
// data ran out. May throw.
using BodyProvider = std::function<std::optional<QByteArray>(qint64 offset)>;
// Takes each piece of the answer's body as it arrives; throwing ends the request at once.
using BodyConsumer = std::function<void(const QByteArray& chunk)>;
using ProgressCallback = std::function<void(double fraction)>;
// Told the answer's status and announced archive size (x-qvx-total-bytes, if any) once its head
// is read, before any of its body; throwing ends the request at once.
using HeadConsumer = std::function<void(int status, std::optional<qint64> announcedTotal)>;

// What a request sends and where its answer goes, beyond method and path. Everything is optional;
// build it in a named local before awaiting the request (g++ 12 mishandles temporaries built
// inside a co_await expression).
struct RequestOptions
{
    // Bodies kept in memory (no consumer) may grow to this size: a listing of 200,000 entries
    // fits, a peer that never stops sending does not.
    static constexpr qint64 defaultMaxCollectedBody = 64LL * 1024 * 1024;

    QueryItems query{};               // after the path item, in order
    std::optional<qint64> bodyLength{}; // the request's Content-Length; none sends no such header
    BodyProvider bodyProvider{};      // the upload, bodyLength bytes in all
    qint64 expectedTotal = 0;         // the download's size for progress when the answer gives none
    HeadConsumer onHead{};
    BodyConsumer onBody{};            // none: the body is collected into the response
    ProgressCallback progress{};
    qint64 maxCollectedBody = defaultMaxCollectedBody;
    // Part of a transfer: WiFiTransport::cancelTransferRequests() ends it at once.
    bool cancellable = false;
};
