#include "symbolimageprovider.h"

#include <QHash>
#include <QIcon>

SymbolImageProvider::SymbolImageProvider() : QQuickImageProvider(QQuickImageProvider::Pixmap) {}

QStringList SymbolImageProvider::themeNames(const QString& symbolName)
{
    static const QHash<QString, QStringList> table{
        {"folder", {"folder"}},
        {"folder.fill", {"folder"}},
        {"folder.badge.plus", {"folder-new"}},
        {"desktopcomputer", {"computer", "video-display"}},
        {"iphone", {"phone", "smartphone"}},
        {"smartphone", {"phone", "smartphone"}},
        {"wifi", {"network-wireless", "network-wireless-signal-excellent-symbolic"}},
        {"wifi.slash", {"network-wireless-offline", "network-wireless-disconnected"}},
        {"cable.connector", {"drive-removable-media-usb", "media-removable"}},
        {"cable.connector.slash", {"media-eject"}},
        {"gearshape", {"preferences-system", "emblem-system"}},
        {"arrow.clockwise", {"view-refresh"}},
        {"arrow.right", {"go-next"}},
        {"arrow.left", {"go-previous"}},
        {"arrow.up.circle", {"go-up"}},
        {"arrow.down.circle", {"go-down"}},
        {"chevron.left", {"go-previous"}},
        {"chevron.right", {"go-next"}},
        {"chevron.down", {"pan-down-symbolic", "go-down"}},
        {"house", {"go-home", "user-home"}},
        {"tray", {"mail-inbox", "folder-open"}},
        {"doc.fill", {"text-x-generic"}},
        {"doc.richtext.fill", {"application-pdf", "x-office-document"}},
        {"photo.fill", {"image-x-generic"}},
        {"film.fill", {"video-x-generic"}},
        {"archivebox.fill", {"package-x-generic"}},
        {"music.note", {"audio-x-generic"}},
        {"doc.on.clipboard", {"edit-paste"}},
        {"exclamationmark.triangle", {"dialog-warning"}},
        {"exclamationmark.triangle.fill", {"dialog-warning"}},
        {"exclamationmark.circle.fill", {"dialog-error"}},
        {"checkmark.circle.fill", {"emblem-ok-symbolic", "emblem-default"}},
        {"hand.raised", {"security-high", "dialog-password"}},
        {"lock.shield", {"security-high", "dialog-password"}},
        {"iphone.radiowaves.left.and.right", {"phone", "network-wireless"}},
        {"xmark.circle", {"process-stop", "window-close"}},
    };
    return table.value(symbolName, {symbolName});
}

QPixmap SymbolImageProvider::requestPixmap(const QString& id, QSize* size, const QSize& requestedSize)
{
    const QSize wanted = requestedSize.isValid() ? requestedSize : QSize(32, 32);
    QIcon icon;
    for (const QString& name : themeNames(id)) {
        icon = QIcon::fromTheme(name);
        if (!icon.isNull())
            break;
    }
    QPixmap pixmap = icon.isNull() ? QPixmap(wanted) : icon.pixmap(wanted);
    if (icon.isNull())
        pixmap.fill(Qt::transparent);
    if (size)
        *size = pixmap.size();
    return pixmap;
}
