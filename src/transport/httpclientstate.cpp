#include "httpclientstate.h"

#include <QStringDecoder>
#include <QStringList>

namespace {

// A decimal integer with an optional leading sign, nothing else (no blanks around it, which
// Qt's own conversion would accept).
std::optional<qint64> parseInteger(const QString& text)
{
    qsizetype i = 0;
    if (i < text.size() && (text[i] == QLatin1Char('+') || text[i] == QLatin1Char('-')))
        ++i;
    if (i == text.size())
        return std::nullopt;
    for (qsizetype j = i; j < text.size(); ++j) {
        if (text[j] < QLatin1Char('0') || text[j] > QLatin1Char('9'))
            return std::nullopt;
    }
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
    else if (!m_headUnparseable)
        m_buffer += data;
}

QByteArray HTTPClientState::takePending()
{
    QByteArray chunk;
    chunk.swap(m_pending);
    if (m_contentLength != notGiven && chunk.size() > m_contentLength - m_bodyReceived)
        chunk.truncate(m_contentLength - m_bodyReceived);
    m_bodyReceived += chunk.size();
    return chunk;
}

HTTPClientState::ParseResult HTTPClientState::tryParseHeader()
{
    if (m_headerParsed)
        return ParseResult::parsed;
    if (m_headUnparseable)
        return ParseResult::needMore;
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
    // then ends when the peer closes or by the watchdog. What follows it is dropped unread.
    const auto unparseable = [this] {
        m_headUnparseable = true;
        m_buffer.clear();
        return ParseResult::needMore;
    };
    if (decoder.hasError())
        return unparseable();
    const QStringList lines = head.split(QStringLiteral("\r\n"));
    const QStringList statusLine = lines.first().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    if (statusLine.size() < 2)
        return unparseable();
    const auto status = parseInteger(statusLine[1]);
    if (!status || *status < std::numeric_limits<int>::min() || *status > std::numeric_limits<int>::max())
        return unparseable();
    m_status = int(*status);

    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(QLatin1Char(':'));
        if (colon <= 0 || colon == lines[i].size() - 1)
            continue;
        // Exactly two non-empty pieces around the first colon; the value may contain more colons.
        const QString name = trimSpacesAndTabs(lines[i].left(colon)).toLower();
        const QString value = trimSpacesAndTabs(lines[i].mid(colon + 1));
        if (name == QLatin1String("content-length")) {
            const auto n = parseInteger(value);
            if (!n || *n < 0) {
                m_badContentLength = value;
                return ParseResult::badContentLength;
            }
            m_contentLength = *n;
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
