#pragma once

#include <QTemporaryDir>

// Points QSettings (organization and application "Zorvane",) at a private temporary
// folder for the life of the object, so tests never touch the user's real settings.
class ScopedSettings
{
public:
    ScopedSettings();
    ~ScopedSettings();
    QString path() const { return m_dir.path(); }

private:
    QTemporaryDir m_dir;
};
