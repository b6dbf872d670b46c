#include "phoneoptions.h"

#include "faultplan.h"

namespace phone {

QString PhoneOptions::helpText()
{
    return QStringLiteral(
               "Usage: zorvane-phone --root DIR [options]\n"
               "Serves DIR as a phone's file cabin over HTTP/1.1, standing in for the phone app.\n"
               "Prints 'listening on HOST:PORT' on stdout once ready; diagnostics go to stderr.\n"
               "\n"
               "  --root DIR              folder to serve (required)\n"
               "  --host ADDR             address to listen on (default 127.0.0.1)\n"
               "  --port N                port to listen on; 0 picks a free one (default 0)\n"
               "  --name NAME             phone name in /info (default 演示手机)\n"
               "  --system-version TEXT   systemVersion in /info (default \"iOS 17.5\")\n"
               "  --platform TEXT         platform in /info (default ios)\n"
               "  --storage-free BYTES    storageFree in /info (default: real free space of DIR)\n"
               "  --pairing-code CODE     demand pairing: every endpoint but /pair answers 401\n"
               "                          to a client (X-QVX-Client) that has not sent CODE\n"
               "  --no-folder-endpoints   /uploadTar and /downloadFolder answer 404\n"
               "  --no-hash               /hash and /hashTree answer 404\n"
               "  --tree-prefix           /hashTree paths start with the folder's own name\n"
               "  --fault PATH:KIND[:ARG][@N]  misbehave on requests to PATH (see below)\n"
               "  --publish NAME          announce the server over DNS-SD (_tarnivox._tcp) as NAME,\n"
               "                          through the system's avahi-daemon\n"
               "  --verbose               log every request, with the client's address, to stderr\n"
               "  --help                  show this text\n"
               "  --version               show the version\n"
               "\n")
           + FaultPlan::helpText();
}

PhoneOptions::Outcome PhoneOptions::parse(const QStringList& arguments, PhoneOptions* options,
                                          QString* message)
{
    const auto fail = [message](const QString& text) {
        *message = text + QStringLiteral("\nTry 'zorvane-phone --help'.\n");
        return Outcome::error;
    };
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        QString flag = arguments[i];
        std::optional<QString> inlineValue;
        const qsizetype equals = flag.indexOf(QLatin1Char('='));
        if (flag.startsWith(QLatin1String("--")) && equals > 0) {
            inlineValue = flag.mid(equals + 1);
            flag.truncate(equals);
        }
        const auto value = [&](QString* out) {
            if (inlineValue) {
                *out = *inlineValue;
                return true;
            }
            if (i + 1 >= arguments.size())
                return false;
            *out = arguments[++i];
            return true;
        };
        const auto needsValue = [&] { return fail(QStringLiteral("%1 needs a value").arg(flag)); };
        QString text;
        if (flag == QLatin1String("--help") || flag == QLatin1String("-h")) {
            *message = helpText();
            return Outcome::help;
        } else if (flag == QLatin1String("--version")) {
            *message = QStringLiteral("zorvane-phone " ZORVANE_VERSION "\n");
            return Outcome::help;
        } else if (flag == QLatin1String("--root")) {
            if (!value(&options->root))
                return needsValue();
        } else if (flag == QLatin1String("--host")) {
            if (!value(&options->host))
                return needsValue();
        } else if (flag == QLatin1String("--port")) {
            if (!value(&text))
                return needsValue();
            bool ok = false;
            const uint port = text.toUInt(&ok);
            if (!ok || port > 65535)
                return fail(QStringLiteral("--port: '%1' is not a port number").arg(text));
            options->port = quint16(port);
        } else if (flag == QLatin1String("--name")) {
            if (!value(&options->name))
                return needsValue();
        } else if (flag == QLatin1String("--system-version")) {
            if (!value(&options->systemVersion))
                return needsValue();
        } else if (flag == QLatin1String("--platform")) {
            if (!value(&options->platform))
                return needsValue();
        } else if (flag == QLatin1String("--storage-free")) {
            if (!value(&text))
                return needsValue();
            bool ok = false;
            const qint64 bytes = text.toLongLong(&ok);
            if (!ok || bytes < 0)
                return fail(QStringLiteral("--storage-free: '%1' is not a byte count").arg(text));
            options->storageFree = bytes;
        } else if (flag == QLatin1String("--pairing-code")) {
            if (!value(&options->pairingCode))
                return needsValue();
            if (options->pairingCode.isEmpty())
                return fail(QStringLiteral("--pairing-code must not be empty"));
        } else if (flag == QLatin1String("--publish")) {
            if (!value(&options->publishName))
                return needsValue();
            if (options->publishName.isEmpty())
                return fail(QStringLiteral("--publish needs a name"));
        } else if (flag == QLatin1String("--fault")) {
            if (!value(&text))
                return needsValue();
            options->faults.append(text);
        } else if (flag == QLatin1String("--no-folder-endpoints") && !inlineValue) {
            options->folderEndpoints = false;
        } else if (flag == QLatin1String("--no-hash") && !inlineValue) {
            options->hashEndpoints = false;
        } else if (flag == QLatin1String("--tree-prefix") && !inlineValue) {
            options->treePrefix = true;
        } else if (flag == QLatin1String("--verbose") && !inlineValue) {
            options->verbose = true;
        } else {
            return fail(QStringLiteral("unknown argument '%1'").arg(arguments[i]));
        }
    }
    if (options->root.isEmpty())
        return fail(QStringLiteral("--root DIR is required"));
    // Check the faults now, so a typo stops the program instead of being ignored.
    FaultPlan plan;
    for (const QString& fault : std::as_const(options->faults)) {
        QString error;
        if (!plan.add(fault, &error))
            return fail(error);
    }
    return Outcome::run;
}

} // namespace phone
