#include "texttemplate.h"

#include "languagemanager.h"

QString fillTemplate(const QString& localizedTemplate, std::initializer_list<QVariant> arguments)
{
    QString out;
    out.reserve(localizedTemplate.size() + 16);
    auto next = arguments.begin();
    const auto take = [&]() -> QVariant { return next == arguments.end() ? QVariant() : *next++; };
    const QString& t = localizedTemplate;
    for (qsizetype i = 0; i < t.size(); ++i) {
        if (t[i] != QLatin1Char('%') || i + 1 >= t.size()) {
            out += t[i];
            continue;
        }
        const QStringView rest = QStringView(t).mid(i + 1);
        if (rest.startsWith(u'@')) {
            out += take().toString();
            i += 1;
        } else if (rest.startsWith(u"lld")) {
            out += QString::number(take().toLongLong());
            i += 3;
        } else if (rest.startsWith(u"ld")) {
            out += QString::number(take().toLongLong());
            i += 2;
        } else if (rest.startsWith(u'd')) {
            out += QString::number(take().toLongLong());
            i += 1;
        } else if (rest.startsWith(u"02x")) {
            out += QStringLiteral("%1").arg(take().toUInt() & 0xff, 2, 16, QLatin1Char('0'));
            i += 3;
        } else if (rest.startsWith(u'%')) {
            out += QLatin1Char('%');
            i += 1;
        } else {
            out += t[i];
        }
    }
    return out;
}

QString localizedFormat(const char* utf8Template, std::initializer_list<QVariant> arguments)
{
    return fillTemplate(localized(utf8Template), arguments);
}
