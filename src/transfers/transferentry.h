#pragma once

#include <QString>

#include <optional>

// One row of either pane: a file or folder on this computer, or one in the phone's file cabin.
struct TransferEntry
{
    enum class Source { local, device };

    QString id;   // local: the file path; device: the remote path (folders end in "/")
    QString name; // the last path component, as shown
    bool isDirectory = false;
    qint64 size = 0;
    Source source = Source::local;
    std::optional<QString> url; // local entries only: the file path

    // The symbol name of the row icon, by kind and extension.
    QString iconName() const;
    // The size column text: "—" for folders, else B / KB / MB / GB in binary steps.
    QString formattedSize() const;

    friend bool operator==(const TransferEntry&, const TransferEntry&) = default;
};
