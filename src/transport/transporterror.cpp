#include "transporterror.h"

#include "common/languagemanager.h"
#include "common/texttemplate.h"

TransportError TransportError::operationFailed(const QString& finishedText)
{
    return TransportError(Kind::operationFailed, finishedText);
}

TransportError TransportError::deviceNotConnected()
{
    return TransportError(Kind::deviceNotConnected, {});
}

bool TransportError::isPairingRequired(const std::exception& error)
{
    const auto* transportError = dynamic_cast<const TransportError*>(&error);
    return transportError && transportError->kind() == Kind::pairingRequired;
}

TransportError TransportError::pairingRequired()
{
    return TransportError(Kind::pairingRequired, {});
}

QString TransportError::description() const
{
    switch (m_kind) {
    case Kind::deviceNotConnected:
        return localized("未检测到已连接的手机");
    case Kind::pairingRequired:
        return localized("手机端需要配对：请打开手机 App 的「连接管理」，把配对码输入到 PC");
    case Kind::operationFailed:
        break;
    }
    return m_text;
}

TransportError remoteOperationError(const QString& operation, int status)
{
    const QString name = localized(operation);
    switch (status) {
    case 401:
        return TransportError::pairingRequired();
    case 403:
        return TransportError::operationFailed(
            localizedFormat("%@失败：手机端拒绝该操作（不允许操作文件舱根）", {name}));
    case 404:
        return TransportError::operationFailed(localizedFormat(
            "%@失败（HTTP 404）：文件不存在，或手机端 App 版本过旧（请在手机上更新后重试）", {name}));
    case 409:
        return TransportError::operationFailed(localizedFormat("%@失败：同名文件已存在", {name}));
    default:
        return TransportError::operationFailed(localizedFormat("%@失败（HTTP %ld）", {name, status}));
    }
}
