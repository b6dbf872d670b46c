#include "verifyoutcome.h"

#include "common/texttemplate.h"

QString VerifyOutcome::reportLine(const QString& item) const
{
    switch (kind) {
    case Kind::passed:
        return localizedFormat("%@：SHA-256 校验通过", {item});
    case Kind::mismatch:
        return localizedFormat("%@：SHA-256 校验失败（%@）", {item, detail});
    case Kind::skipped:
        return localizedFormat("%@：手机端未提供哈希接口，已跳过校验", {item});
    case Kind::nothingToCheck:
        return localizedFormat("%@：文件夹内没有文件，已跳过校验", {item});
    case Kind::requestFailed:
        return localizedFormat("%@：校验请求失败（%@）", {item, detail});
    }
    return {};
}
