#pragma once

#include <QByteArray>
#include <QString>

#include <exception>

// Base of every failure the engine throws. description() is the user-facing (Chinese) text; the
// view model shows it and never lets an exception reach the views.
class ZorvaneError : public std::exception
{
public:
    virtual QString description() const = 0;
    const char* what() const noexcept override;

private:
    mutable QByteArray m_whatCache;
};

// An error of the platform (network, file system, data decoding) that keeps its own text.
class PlatformError : public ZorvaneError
{
public:
    explicit PlatformError(QString text) : m_text(std::move(text)) {}
    QString description() const override { return m_text; }

private:
    QString m_text;
};

// A failure of this computer's own disk (a file in the way, no space, no permission): trying the
// network again cannot mend it.
class LocalDiskError : public PlatformError
{
public:
    using PlatformError::PlatformError;
};

// The user stopped the transfer: not a fault of the phone, the network or the disk, and never
// tried again.
class CancelledError : public ZorvaneError
{
public:
    QString description() const override;
};

// The description of any exception, for turning it into a published error text.
QString errorDescription(const std::exception& error);
