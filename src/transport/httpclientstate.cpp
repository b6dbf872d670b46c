#include "httpclientstate.h"

#include <QStringDecoder>
#include <QStringList>

namespace {

// A decimal integer with an optional leading sign, nothing else.
std::optional<qint64> parseInteger(const QString& text)
{
    bool ok = false;
    const qint64 value = text.toLongLong(&ok, 10);
    if (!ok)
        return std::nullopt;
    return value;
}

QString trimSpacesAndTabs(const QString& text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    const auto blank = [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); };
    while (begin < end && blank(text[begin]))
        ++begin;
    while (end > begin && blank(text[end - 1]))
        --end;
    return text.mid(begin, end - begin);
}

} // namespace

HTTPClientState::HTTPClientState()
{
    m_lastActivity.start();
}

bool HTTPClientState::finish()
{
    if (m_finished)
        return false;
    m_finished = true;
    return true;
}

void HTTPClientState::append(const QByteArray& data)
{
    touch();
    if (m_headerParsed)
        m_pending += data;
    else
        m_buffer += data;
}

QByteArray HTTPClientState::takePending()
{
    QByteArray chunk;
    chunk.swap(m_pending);
    m_bodyReceived += chunk.size();
    return chunk;
}

HTTPClientState::ParseResult HTTPClientState::tryParseHeader()
{
    if (m_headerParsed)
        return ParseResult::parsed;
    // Bytes that never become a head must not pile up either.
    const auto notYet = [this] {
        return m_buffer.size() > maxHeadSize ? ParseResult::headTooLarge : ParseResult::needMore;
    };
    const qsizetype end = m_buffer.indexOf("\r\n\r\n");
    if (end < 0)
        return notYet();
    if (end > maxHeadSize)
        return ParseResult::headTooLarge;

    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString head = decoder.decode(QByteArrayView(m_buffer).first(end));
    // A head that is not UTF-8, or whose status line has no number, is never parsed: the request
    // then ends when the peer closes or by the watchdog.
    if (decoder.hasError())
        return notYet();
    const QStringList lines = head.split(QStringLiteral("\r\n"));
    const QStringList statusLine = lines.first().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (statusLine.size() < 2)
        return notYet();
    const auto status = parseInteger(statusLine[1]);
    if (!status || *status < std::numeric_limits<int>::min() || *status > std::numeric_limits<int>::max())
        return notYet();
    m_status = int(*status);

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(QLatin1Char(':'));
        if (colon <= 0 || colon == lines[i].size() - 1)
            continue;
        // Exactly two non-empty pieces around the first colon; the value may contain more colons.
        const QString name = trimSpacesAndTabs(lines[i].left(colon)).toLower();
        const QString value = trimSpacesAndTabs(lines[i].mid(colon + 1));
        if (name == QLatin1String("content-length")) {
            if (const auto n = parseInteger(value))
                m_contentLength = *n;
            else
                continue;
        } else if (name == QLatin1String("x-qvx-total-bytes")) {
            if (const auto n = parseInteger(value))
                m_archiveTotalBytes = *n;
        } else if (name == QLatin1String("x-qvx-verified")) {
            m_serverVerified = value;
        }
    }
    m_headerParsed = true;
    m_pending = m_buffer.mid(end + 4);
    m_buffer.clear();
    return ParseResult::parsed;
}
