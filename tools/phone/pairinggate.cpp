#include "pairinggate.h"

namespace phone {

PairingGate::PairingGate(QString code)
    : m_code(std::move(code))
{
}

bool PairingGate::admits(const QByteArray& clientId) const
{
    return !isRequired() || (!clientId.isEmpty() && m_paired.contains(clientId));
}

PairingGate::Outcome PairingGate::pair(const QByteArray& clientId, const QString& code)
{
    if (!isRequired())
        return Outcome::accepted;
    if (m_wrongInARow >= maxWrongAttempts) {
        if (!m_lockedUntil.hasExpired())
            return Outcome::lockedOut;
        m_wrongInARow = 0;
    }
    if (code != m_code) {
        if (++m_wrongInARow >= maxWrongAttempts)
            m_lockedUntil.setRemainingTime(lockoutMs);
        return Outcome::wrongCode;
    }
    m_wrongInARow = 0;
    // A client without an identity is accepted but cannot be recognised later.
    if (!clientId.isEmpty())
        m_paired.insert(clientId);
    return Outcome::accepted;
}

} // namespace phone
