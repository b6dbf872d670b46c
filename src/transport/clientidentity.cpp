#include "clientidentity.h"

#include <QFile>
#include <QRegularExpression>
#include <QSettings>
#include <QSysInfo>
#include <QUuid>

QString ClientIdentity::id()
{
    static const QString identity = readOrCreate();
    return identity;
}

QString ClientIdentity::readOrCreate()
{
    QSettings settings;
    const QString key = QString::fromLatin1(settingsKey);
    const QString stored = settings.value(key).toString();
    if (!stored.isEmpty())
        return stored;
    const QString made = QUuid::createUuid().toString(QUuid::WithoutBraces).toUpper();
    settings.setValue(key, made);
    settings.sync();
    return made;
}

QString ClientIdentity::computerName()
{
    // The "pretty" host name is what desktop settings let the user set as the computer's name.
    QFile machineInfo(QStringLiteral("/etc/machine-info"));
    if (machineInfo.open(QIODevice::ReadOnly | QIODevice::Text)) {
        static const QRegularExpression pretty(QStringLiteral("^PRETTY_HOSTNAME=\"?([^\"]*)\"?$"),
                                               QRegularExpression::MultilineOption);
        const auto match = pretty.match(QString::fromUtf8(machineInfo.readAll()));
        if (match.hasMatch() && !match.captured(1).trimmed().isEmpty())
            return match.captured(1).trimmed();
    }
    return QSysInfo::machineHostName();
}
