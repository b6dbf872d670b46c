#include "zorvaneerror.h"

#include "languagemanager.h"

const char* ZorvaneError::what() const noexcept
{
    m_whatCache = description().toUtf8();
    return m_whatCache.constData();
}

QString errorDescription(const std::exception& error)
{
    if (const auto* own = dynamic_cast<const ZorvaneError*>(&error))
        return own->description();
    return QString::fromUtf8(error.what());
}

QString CancelledError::description() const
{
    return localized("已取消");
}
