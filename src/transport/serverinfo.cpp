#include "serverinfo.h"

#include "jsoninteger.h"
#include "common/zorvaneerror.h"

#include "common/texttemplate.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>

namespace {

[[noreturn]] void fail(const char* templ, const QString& key)
{
    throw PlatformError(localizedFormat(templ, {key}));
}

QJsonValue required(const QJsonObject& object, const char* key)
{
    const QString name = QString::fromLatin1(key);
    if (!object.contains(name))
        fail("手机信息无法解读：缺少字段“%@”", name);
    return object.value(name);
}

QString requiredString(const QJsonObject& object, const char* key)
{
    const QJsonValue value = required(object, key);
    if (!value.isString())
        fail("手机信息无法解读：字段“%@”应为文本", QString::fromLatin1(key));
    return value.toString();
}

qint64 integerValue(const QJsonValue& value, const char* key)
{
    const auto number = jsonInteger(value);
    if (!number)
        fail("手机信息无法解读：字段“%@”应为整数", QString::fromLatin1(key));
    return *number;
}

} // namespace

ServerInfo ServerInfo::decode(const QByteArray& json)
{
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        throw PlatformError(localizedFormat("手机信息无法解读：不是有效的 JSON 对象", {}));
    const QJsonObject object = document.object();

    ServerInfo info;
    info.name = requiredString(object, "name");
    info.systemVersion = requiredString(object, "systemVersion");
    info.storageFree = integerValue(required(object, "storageFree"), "storageFree");
    if (!object.value(QLatin1String("platform")).isUndefined() && !object.value(QLatin1String("platform")).isNull()) {
        if (!object.value(QLatin1String("platform")).isString())
            fail("手机信息无法解读：字段“%@”应为文本", QStringLiteral("platform"));
        info.platform = object.value(QLatin1String("platform")).toString();
    }
    if (!object.value(QLatin1String("gzip")).isUndefined() && !object.value(QLatin1String("gzip")).isNull()) {
        if (!object.value(QLatin1String("gzip")).isBool())
            fail("手机信息无法解读：字段“%@”应为真假值", QStringLiteral("gzip"));
        info.gzip = object.value(QLatin1String("gzip")).toBool();
    }
    return info;
}
