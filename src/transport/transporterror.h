#pragma once

#include "common/zorvaneerror.h"

// The transport's own failures. A finished text for `operationFailed`; the two fixed cases look
// their text up each time it is asked for, so a language change shows at once.
class TransportError : public ZorvaneError
{
public:
    enum class Kind { operationFailed, deviceNotConnected, pairingRequired };

    static TransportError operationFailed(const QString& finishedText);
    static TransportError deviceNotConnected();
    static TransportError pairingRequired();

    Kind kind() const { return m_kind; }
    // Whether `error` is the phone demanding a pairing code.
    static bool isPairingRequired(const std::exception& error);
    QString description() const override;

private:
    TransportError(Kind kind, QString text) : m_kind(kind), m_text(std::move(text)) {}
    Kind m_kind;
    QString m_text;
};

// Maps the status (never 200) of a failed remote file operation to its error; `operation` is the
// fixed Chinese operation name ("重命名", "删除", ...) and is looked up before it is inserted.
TransportError remoteOperationError(const QString& operation, int status);
