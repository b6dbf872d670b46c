#include "faultplan.h"

#include <QRegularExpression>

namespace phone {

namespace {

struct KindName
{
    const char* name;
    Fault::Kind kind;
    bool needsArg;
};

constexpr KindName kindNames[] = {
    {"silent", Fault::Kind::silent, false},
    {"close", Fault::Kind::close, false},
    {"head-close", Fault::Kind::headClose, false},
    {"short", Fault::Kind::shortBody, true},
    {"trickle", Fault::Kind::trickle, true},
    {"status", Fault::Kind::status, true},
    {"stall-mid", Fault::Kind::stallMid, true},
    {"close-mid", Fault::Kind::closeMid, true},
    {"corrupt-digest", Fault::Kind::corruptDigest, false},
    {"slow-read", Fault::Kind::slowRead, true},
};

} // namespace

bool FaultPlan::add(const QString& text, QString* error)
{
    static const QRegularExpression pattern(
        QStringLiteral("^(/[^:@]*):([a-z-]+)(?::(\\d+))?(?:@(\\d+))?$"));
    const QRegularExpressionMatch match = pattern.match(text);
    if (!match.hasMatch()) {
        *error = QStringLiteral("bad --fault '%1': expected PATH:KIND[:ARG][@N]").arg(text);
        return false;
    }
    const QString kindText = match.captured(2);
    const QString argText = match.captured(3);
    for (const KindName& entry : kindNames) {
        if (kindText != QLatin1String(entry.name))
            continue;
        if (entry.needsArg == argText.isEmpty()) {
            *error = QStringLiteral("bad --fault '%1': %2 %3 a number")
                         .arg(text, kindText,
                              entry.needsArg ? QStringLiteral("needs") : QStringLiteral("takes no"));
            return false;
        }
        Rule rule;
        rule.path = match.captured(1);
        rule.fault.kind = entry.kind;
        rule.fault.arg = argText.toLongLong();
        if (entry.kind == Fault::Kind::status && (rule.fault.arg < 100 || rule.fault.arg > 999)) {
            *error = QStringLiteral("bad --fault '%1': status must be 100..999").arg(text);
            return false;
        }
        if ((entry.kind == Fault::Kind::trickle || entry.kind == Fault::Kind::slowRead)
            && rule.fault.arg < 1) {
            *error = QStringLiteral("bad --fault '%1': the interval must be at least 1 ms").arg(text);
            return false;
        }
        if (!match.captured(4).isEmpty()) {
            rule.remaining = match.captured(4).toInt();
            if (rule.remaining < 1) {
                *error = QStringLiteral("bad --fault '%1': @N needs N >= 1").arg(text);
                return false;
            }
        }
        m_rules.append(rule);
        return true;
    }
    *error = QStringLiteral("bad --fault '%1': unknown kind '%2'").arg(text, kindText);
    return false;
}

std::optional<Fault> FaultPlan::take(const QString& path)
{
    for (Rule& rule : m_rules) {
        if (rule.path != path || rule.remaining == 0)
            continue;
        if (rule.remaining > 0)
            --rule.remaining;
        return rule.fault;
    }
    return std::nullopt;
}

QString FaultPlan::helpText()
{
    return QStringLiteral(
        "Faults (--fault PATH:KIND[:ARG][@N], repeatable; PATH is an endpoint such as /info):\n"
        "  silent           read the request, never answer (the connection stays open)\n"
        "  close            close the connection before sending anything\n"
        "  head-close       send the head with the real Content-Length, then close\n"
        "  short:N          send the real Content-Length but only N body bytes, then close\n"
        "  trickle:MS       send the whole answer one byte every MS milliseconds\n"
        "  status:CODE      answer CODE with an empty body\n"
        "  stall-mid:N      send N body bytes, then go silent\n"
        "  close-mid:N      send N body bytes, then close\n"
        "  corrupt-digest   /hash and /hashTree report a wrong digest\n"
        "  slow-read:MS     read the request body 16 KiB every MS milliseconds\n"
        "  @N               apply the rule to the first N requests to PATH only; rules for one\n"
        "                   path are used in the order given, e.g. '/info:close@1' fails once\n"
        "                   and then answers normally\n");
}

} // namespace phone
