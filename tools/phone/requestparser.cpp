#include "requestparser.h"

#include <QStringDecoder>

namespace phone {

namespace {

// RFC 9110 token characters: method names and header names.
bool isTokenChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    switch (c) {
    case '!': case '#': case '$': case '%': case '&': case '\'': case '*': case '+':
    case '-': case '.': case '^': case '_': case '`': case '|': case '~':
        return true;
    default:
        return false;
    }
}

bool isToken(QByteArrayView text)
{
    if (text.isEmpty())
        return false;
    for (char c : text) {
        if (!isTokenChar(c))
            return false;
    }
    return true;
}

int hexValue(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

QByteArrayView trimmedOws(QByteArrayView text)
{
    while (!text.isEmpty() && (text.front() == ' ' || text.front() == '\t'))
        text = text.sliced(1);
    while (!text.isEmpty() && (text.back() == ' ' || text.back() == '\t'))
        text.chop(1);
    return text;
}

} // namespace

std::optional<QString> RequestHead::queryItem(const QString& key) const
{
    for (const auto& item : query) {
        if (item.first == key)
            return item.second;
    }
    return std::nullopt;
}

QByteArray RequestHead::header(QByteArrayView lowerName) const
{
    for (const auto& item : headers) {
        if (item.first == lowerName)
            return item.second;
    }
    return {};
}

RequestParser::RequestParser(qsizetype headLimit)
    : m_headLimit(headLimit)
{
}

RequestParser::State RequestParser::feed(QByteArrayView data)
{
    if (m_state != State::needMore) {
        if (m_state == State::complete)
            m_buffer.append(data);
        return m_state;
    }
    // Only the last three old bytes can start a blank line that ends in the new ones.
    const qsizetype searchFrom = qMax<qsizetype>(0, m_buffer.size() - 3);
    m_buffer.append(data);
    const qsizetype end = m_buffer.indexOf("\r\n\r\n", searchFrom);
    if (end < 0) {
        if (m_buffer.size() > m_headLimit)
            return fail(431, QStringLiteral("request head too large"));
        return m_state;
    }
    if (end + 4 > m_headLimit)
        return fail(431, QStringLiteral("request head too large"));
    const QByteArray head = m_buffer.left(end);
    m_buffer.remove(0, end + 4);
    return parseHead(head);
}

QByteArray RequestParser::takeLeftover()
{
    QByteArray rest;
    rest.swap(m_buffer);
    return rest;
}

RequestParser::State RequestParser::fail(int status, const QString& text)
{
    m_state = State::failed;
    m_errorStatus = status;
    m_errorText = text;
    m_buffer.clear();
    return m_state;
}

RequestParser::State RequestParser::parseHead(QByteArrayView head)
{
    qsizetype lineStart = 0;
    bool first = true;
    while (lineStart <= head.size()) {
        qsizetype lineEnd = head.indexOf(QByteArrayView("\r\n"), lineStart);
        if (lineEnd < 0)
            lineEnd = head.size();
        const QByteArrayView line = head.sliced(lineStart, lineEnd - lineStart);
        // A bare CR or LF inside a line is how request smuggling starts; refuse it.
        if (line.contains('\r') || line.contains('\n'))
            return fail(400, QStringLiteral("stray line break in the request head"));
        if (first) {
            if (!parseRequestLine(line))
                return m_state;
            first = false;
        } else if (!parseHeaderLine(line)) {
            return m_state;
        }
        lineStart = lineEnd + 2;
    }
    if (!checkFraming())
        return m_state;
    m_state = State::complete;
    return m_state;
}

bool RequestParser::parseRequestLine(QByteArrayView line)
{
    const qsizetype firstSpace = line.indexOf(' ');
    const qsizetype lastSpace = line.lastIndexOf(' ');
    if (firstSpace <= 0 || lastSpace == firstSpace) {
        fail(400, QStringLiteral("malformed request line"));
        return false;
    }
    const QByteArrayView method = line.first(firstSpace);
    const QByteArrayView target = line.sliced(firstSpace + 1, lastSpace - firstSpace - 1);
    const QByteArrayView version = line.sliced(lastSpace + 1);
    if (!isToken(method) || target.isEmpty() || target.contains(' ')) {
        fail(400, QStringLiteral("malformed request line"));
        return false;
    }
    if (version != "HTTP/1.1" && version != "HTTP/1.0") {
        const bool looksLikeHttp = version.size() == 8 && version.startsWith("HTTP/")
                                   && version[6] == '.';
        fail(looksLikeHttp ? 505 : 400, QStringLiteral("unsupported protocol version"));
        return false;
    }
    m_head.minorVersion = version.back() == '1' ? 1 : 0;
    m_head.method = method.toByteArray();
    m_head.target = target.toByteArray();
    return parseTarget(target);
}

bool RequestParser::parseTarget(QByteArrayView target)
{
    // Only the origin form "/path?query"; raw UTF-8 is allowed (the client sends Chinese
    // names unescaped), control characters are not.
    if (target.front() != '/') {
        fail(400, QStringLiteral("request target must start with /"));
        return false;
    }
    for (char c : target) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x21 || byte == 0x7f || c == '#') {
            fail(400, QStringLiteral("invalid character in request target"));
            return false;
        }
    }
    const qsizetype question = target.indexOf('?');
    const QByteArrayView rawPath = question < 0 ? target : target.first(question);
    const std::optional<QString> path = percentDecode(rawPath);
    if (!path) {
        fail(400, QStringLiteral("malformed request path"));
        return false;
    }
    m_head.path = *path;
    if (question < 0)
        return true;

    const QByteArrayView rawQuery = target.sliced(question + 1);
    for (QByteArrayView item : QByteArray::fromRawData(rawQuery.data(), rawQuery.size()).split('&')) {
        if (item.isEmpty())
            continue;
        const qsizetype equals = item.indexOf('=');
        const std::optional<QString> key = percentDecode(equals < 0 ? item : item.first(equals));
        const std::optional<QString> value =
            percentDecode(equals < 0 ? QByteArrayView() : item.sliced(equals + 1));
        if (!key || !value) {
            fail(400, QStringLiteral("malformed query item"));
            return false;
        }
        m_head.query.append({*key, *value});
    }
    return true;
}

bool RequestParser::parseHeaderLine(QByteArrayView line)
{
    if (line.isEmpty() || line.front() == ' ' || line.front() == '\t') {
        // Folded continuation lines are obsolete and ambiguous.
        fail(400, QStringLiteral("folded or empty header line"));
        return false;
    }
    const qsizetype colon = line.indexOf(':');
    if (colon <= 0 || !isToken(line.first(colon))) {
        fail(400, QStringLiteral("malformed header line"));
        return false;
    }
    const QByteArrayView value = trimmedOws(line.sliced(colon + 1));
    for (char c : value) {
        const auto byte = static_cast<unsigned char>(c);
        if ((byte < 0x20 && c != '\t') || byte == 0x7f) {
            fail(400, QStringLiteral("control character in a header value"));
            return false;
        }
    }
    m_head.headers.append({line.first(colon).toByteArray().toLower(), value.toByteArray()});
    return true;
}

bool RequestParser::checkFraming()
{
    int hosts = 0;
    for (const auto& [name, value] : m_head.headers) {
        if (name == "host") {
            ++hosts;
        } else if (name == "content-length") {
            // Digits only: "+5", "5, 5" and the like are refused rather than guessed at.
            bool ok = !value.isEmpty() && value.size() <= 18;
            for (char c : value)
                ok = ok && c >= '0' && c <= '9';
            if (!ok) {
                fail(400, QStringLiteral("invalid Content-Length"));
                return false;
            }
            const qint64 length = value.toLongLong();
            if (m_head.hasContentLength && length != m_head.contentLength) {
                fail(400, QStringLiteral("conflicting Content-Length headers"));
                return false;
            }
            m_head.contentLength = length;
            m_head.hasContentLength = true;
        } else if (name == "transfer-encoding") {
            // Bodies are framed by Content-Length only; a chunked body is not accepted.
            fail(501, QStringLiteral("Transfer-Encoding is not supported"));
            return false;
        } else if (name == "expect") {
            if (value.compare("100-continue", Qt::CaseInsensitive) != 0) {
                fail(417, QStringLiteral("unsupported expectation"));
                return false;
            }
            m_head.expectsContinue = true;
        }
    }
    // HTTP/1.1 demands exactly one Host header; its value is not checked (the client
    // always sends "tarnivox", whatever the address).
    if (hosts > 1 || (hosts == 0 && m_head.minorVersion == 1)) {
        fail(400, QStringLiteral("missing or repeated Host header"));
        return false;
    }
    return true;
}

std::optional<QString> RequestParser::percentDecode(QByteArrayView text)
{
    QByteArray bytes;
    bytes.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c != '%') {
            bytes.append(c);
            continue;
        }
        if (i + 2 >= text.size())
            return std::nullopt;
        const int high = hexValue(text[i + 1]);
        const int low = hexValue(text[i + 2]);
        if (high < 0 || low < 0)
            return std::nullopt;
        bytes.append(char(high * 16 + low));
        i += 2;
    }
    if (bytes.contains('\0'))
        return std::nullopt;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString result = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return result;
}

} // namespace phone
