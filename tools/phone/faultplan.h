#pragma once

#include <QList>
#include <QString>

#include <optional>

namespace phone {

// One way to misbehave on a request, as asked for on the command line.
struct Fault
{
    enum class Kind {
        silent,         // read the request, never answer
        close,          // close before sending anything
        headClose,      // send the head with the real Content-Length, then close
        shortBody,      // send only `arg` body bytes, then close
        trickle,        // send the whole answer one byte every `arg` ms
        status,         // answer status `arg` with an empty body
        stallMid,       // send `arg` body bytes, then go silent
        closeMid,       // send `arg` body bytes, then close
        corruptDigest,  // /hash and /hashTree report a wrong digest
        slowRead,       // read the request body 16 KiB every `arg` ms
    };

    Kind kind = Kind::silent;
    qint64 arg = 0;
};

// The faults given by --fault PATH:KIND[:ARG][@N]. A rule with @N applies to the first N
// matching requests only; rules for one path are tried in the order given, so
// "/info:close@1" followed by nothing means "fails once, then answers".
class FaultPlan
{
public:
    // Adds one rule; false with `error` set when it cannot be understood.
    bool add(const QString& text, QString* error);

    // The fault for this request, if any; counts the request against limited rules.
    std::optional<Fault> take(const QString& path);

    bool isEmpty() const { return m_rules.isEmpty(); }

    static QString helpText();

private:
    struct Rule
    {
        QString path;
        Fault fault;
        int remaining = -1;   // -1: every request
    };
    QList<Rule> m_rules;
};

} // namespace phone
