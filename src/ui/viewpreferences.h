#pragma once

#include <QObject>
#include <QString>

// The window's remembered choices about how it shows things: both panes list their entries as
// rows ("list") or as icons ("grid"), one choice for both, kept across launches.
class ViewPreferences : public QObject
{
    Q_OBJECT
    Q_PROPERTY(QString fileViewMode READ fileViewMode WRITE setFileViewMode NOTIFY fileViewModeChanged)

public:
    static constexpr const char* fileViewModeKey = "macFileViewMode";

    explicit ViewPreferences(QObject* parent = nullptr);

    QString fileViewMode() const { return m_fileViewMode; }
    // Anything but "grid" is the list.
    void setFileViewMode(const QString& mode);

signals:
    void fileViewModeChanged();

private:
    QString m_fileViewMode;
};
