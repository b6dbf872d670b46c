#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QPair>
#include <QString>

#include <optional>

namespace phone {

// One parsed request head. Header names are kept in lower case.
struct RequestHead
{
    QByteArray method;
    QByteArray target;                       // as sent
    QString path;                            // percent-decoded path part of the target
    QList<QPair<QString, QString>> query;    // percent-decoded items, in order
    QList<QPair<QByteArray, QByteArray>> headers;
    qint64 contentLength = 0;                // 0 when the head carries none
    bool hasContentLength = false;
    bool expectsContinue = false;
    int minorVersion = 1;                    // HTTP/1.x

    // The first item with this key, or nothing.
    std::optional<QString> queryItem(const QString& key) const;
    QByteArray header(QByteArrayView lowerName) const;
};

// Reads a request head from bytes as they arrive and rejects anything that is not a plain,
// well-formed HTTP/1.x head. Every failure carries the status to answer with.
class RequestParser
{
public:
    enum class State { needMore, complete, failed };

    static constexpr qsizetype defaultHeadLimit = 64 * 1024;

    explicit RequestParser(qsizetype headLimit = defaultHeadLimit);

    // Takes the next bytes. Once complete, bytes after the head are in takeLeftover().
    State feed(QByteArrayView data);
    State state() const { return m_state; }

    const RequestHead& head() const { return m_head; }
    int errorStatus() const { return m_errorStatus; }
    const QString& errorText() const { return m_errorText; }
    QByteArray takeLeftover();

    // Decodes %XX escapes and checks the result is UTF-8 without NUL; nothing when malformed.
    static std::optional<QString> percentDecode(QByteArrayView text);

private:
    State fail(int status, const QString& text);
    State parseHead(QByteArrayView head);
    bool parseRequestLine(QByteArrayView line);
    bool parseTarget(QByteArrayView target);
    bool parseHeaderLine(QByteArrayView line);
    bool checkFraming();

    qsizetype m_headLimit;
    QByteArray m_buffer;
    State m_state = State::needMore;
    RequestHead m_head;
    int m_errorStatus = 0;
    QString m_errorText;
};

} // namespace phone
