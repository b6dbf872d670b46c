#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QSet>
#include <QString>

namespace phone {

// Who may use the cabin. Without a pairing code everyone may; with one, only clients
// (by their X-QVX-Client identity) that sent the right code. Remembered in memory only.
class PairingGate
{
public:
    enum class Outcome { accepted, wrongCode, lockedOut };

    // Wrong codes in a row before pairing is refused for a while: six digits are quickly
    // guessed by a client that may try without limit.
    static constexpr int maxWrongAttempts = 10;
    static constexpr int lockoutMs = 30000;

    explicit PairingGate(QString code = {});

    bool isRequired() const { return !m_code.isEmpty(); }
    bool admits(const QByteArray& clientId) const;
    Outcome pair(const QByteArray& clientId, const QString& code);

private:
    QString m_code;
    QSet<QByteArray> m_paired;
    int m_wrongInARow = 0;
    QDeadlineTimer m_lockedUntil;
};

} // namespace phone
