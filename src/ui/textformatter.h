#pragma once

#include <QObject>

// Formatting helpers the views call.
class TextFormatter : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    Q_INVOKABLE QString fileSize(qint64 bytes) const;
};
