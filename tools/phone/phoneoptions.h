#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace phone {

// The command line of zorvane-phone.
struct PhoneOptions
{
    QString root;
    QString host = QStringLiteral("127.0.0.1");
    quint16 port = 0;
    QString name = QStringLiteral("演示手机");
    QString systemVersion = QStringLiteral("iOS 17.5");
    QString platform = QStringLiteral("ios");
    std::optional<qint64> storageFree;   // none: the real free space of the root
    QString pairingCode;
    bool folderEndpoints = true;
    bool hashEndpoints = true;
    bool treePrefix = false;
    bool verbose = false;
    QString publishName; // empty: not announced
    QStringList faults;

    enum class Outcome { run, help, error };
    // Parses the arguments after the program name; `message` gets the help or the error.
    static Outcome parse(const QStringList& arguments, PhoneOptions* options, QString* message);
    static QString helpText();
};

} // namespace phone
