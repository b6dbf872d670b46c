#include "queryencoding.h"

#include <QChar>
#include <QStringList>

namespace QueryEncoding {

namespace {

bool staysRaw(char32_t codePoint)
{
    if (codePoint == U'-' || codePoint == U'.' || codePoint == U'_' || codePoint == U'~')
        return true;
    switch (QChar::category(codePoint)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
        return true;
    default:
        return false;
    }
}

} // namespace

QString encode(const QString& text)
{
    static constexpr char hex[] = "0123456789ABCDEF";
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        char32_t codePoint = text[i].unicode();
        QString piece(text[i]);
        if (text[i].isHighSurrogate()) {
            if (i + 1 >= text.size() || !text[i + 1].isLowSurrogate())
                return text;
            codePoint = QChar::surrogateToUcs4(text[i], text[i + 1]);
            piece = text.mid(i, 2);
            ++i;
        } else if (text[i].isLowSurrogate()) {
            return text;
        }
        if (staysRaw(codePoint)) {
            out += piece;
            continue;
        }
        for (const char byte : piece.toUtf8()) {
            const auto b = static_cast<unsigned char>(byte);
            out += QLatin1Char('%');
            out += QLatin1Char(hex[b >> 4]);
            out += QLatin1Char(hex[b & 0xf]);
        }
    }
    return out;
}

QString requestTarget(const QString& apiPath, const std::optional<QString>& remotePath,
                      const QueryItems& extraQuery)
{
    QStringList items;
    if (remotePath) {
        QStringList pieces;
        for (const QString& piece : remotePath->split(QLatin1Char('/'), Qt::SkipEmptyParts))
            pieces << encode(piece);
        items << QStringLiteral("path=/") + pieces.join(QLatin1Char('/'));
    }
    for (const auto& [key, value] : extraQuery)
        items << encode(key) + QLatin1Char('=') + encode(value);
    if (items.isEmpty())
        return apiPath;
    return apiPath + QLatin1Char('?') + items.join(QLatin1Char('&'));
}

} // namespace QueryEncoding
