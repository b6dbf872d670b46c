#include "symbolimageprovider.h"

#include <QColor>
#include <QHash>
#include <QIcon>
#include <QPainter>
#include <QStandardPaths>
#include <QUrlQuery>

namespace {

// The symbol names of the views and the freedesktop names that draw them: the "-symbolic"
// monochrome icons first (they match the window's flat look and take a tint), then older
// full-colour names for themes without them.
const QHash<QString, QStringList>& symbolTable()
{
    static const QHash<QString, QStringList> table{
        {"folder", {"folder-symbolic", "folder"}},
        {"folder.fill", {"folder", "folder-symbolic"}},
        {"folder.badge.plus", {"folder-new-symbolic", "folder-new"}},
        {"desktopcomputer", {"computer-symbolic", "computer", "video-display"}},
        {"iphone", {"phone-symbolic", "phone"}},
        {"smartphone", {"phone-symbolic", "phone"}},
        {"iphone.radiowaves.left.and.right", {"phone-symbolic", "phone"}},
        {"wifi", {"network-wireless-symbolic", "network-wireless"}},
        {"wifi.slash", {"network-wireless-offline-symbolic", "network-wireless-offline"}},
        {"cable.connector", {"media-removable-symbolic", "drive-removable-media-symbolic", "drive-removable-media-usb"}},
        {"cable.connector.slash", {"media-eject-symbolic", "media-eject"}},
        {"gearshape", {"emblem-system-symbolic", "preferences-system-symbolic", "preferences-system"}},
        {"arrow.clockwise", {"view-refresh-symbolic", "view-refresh"}},
        {"arrow.right", {"go-next-symbolic", "go-next"}},
        {"arrow.left", {"go-previous-symbolic", "go-previous"}},
        {"arrow.up.circle", {"go-up-symbolic", "go-up"}},
        {"arrow.down.circle", {"go-down-symbolic", "go-down"}},
        {"chevron.left", {"go-previous-symbolic", "go-previous"}},
        {"chevron.right", {"pan-end-symbolic", "go-next-symbolic", "go-next"}},
        {"chevron.down", {"pan-down-symbolic", "go-down-symbolic", "go-down"}},
        {"house", {"go-home-symbolic", "user-home-symbolic", "go-home"}},
        {"tray", {"folder-download-symbolic", "mail-inbox", "folder-open"}},
        {"doc.fill", {"text-x-generic-symbolic", "text-x-generic"}},
        {"doc.richtext.fill", {"x-office-document-symbolic", "x-office-document", "application-pdf"}},
        {"photo.fill", {"image-x-generic-symbolic", "image-x-generic"}},
        {"film.fill", {"video-x-generic-symbolic", "video-x-generic"}},
        {"archivebox.fill", {"package-x-generic-symbolic", "package-x-generic"}},
        {"music.note", {"audio-x-generic-symbolic", "audio-x-generic"}},
        {"doc.on.clipboard", {"edit-paste-symbolic", "edit-paste"}},
        {"exclamationmark.triangle", {"dialog-warning-symbolic", "dialog-warning"}},
        {"exclamationmark.triangle.fill", {"dialog-warning-symbolic", "dialog-warning"}},
        {"exclamationmark.circle.fill", {"dialog-error-symbolic", "dialog-error"}},
        {"checkmark.circle.fill", {"emblem-ok-symbolic", "object-select-symbolic", "emblem-default"}},
        {"hand.raised", {"preferences-system-privacy-symbolic", "security-high-symbolic", "security-high"}},
        {"lock.shield", {"security-high-symbolic", "dialog-password-symbolic", "security-high"}},
        {"list.bullet", {"view-list-symbolic", "view-list"}},
        {"square.grid.2x2", {"view-grid-symbolic", "view-app-grid-symbolic", "view-grid"}},
        {"xmark.circle", {"process-stop-symbolic", "window-close-symbolic", "process-stop"}},
    };
    return table;
}

} // namespace

SymbolImageProvider::SymbolImageProvider() : QQuickImageProvider(QQuickImageProvider::Pixmap)
{
    // Platforms without a desktop theme plugin (offscreen, eglfs) search only Qt's resources.
    QStringList searchPaths = QIcon::themeSearchPaths();
    const QStringList desktopPaths = QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                                               QStringLiteral("icons"), QStandardPaths::LocateDirectory);
    for (const QString& path : desktopPaths) {
        if (!searchPaths.contains(path))
            searchPaths << path;
    }
    QIcon::setThemeSearchPaths(searchPaths);
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    QIcon::setFallbackThemeName(QStringLiteral("hicolor"));
}

QStringList SymbolImageProvider::themeNames(const QString& symbolName)
{
    return symbolTable().value(symbolName, {symbolName});
}

QStringList SymbolImageProvider::symbolNames()
{
    QStringList names = symbolTable().keys();
    names.sort();
    return names;
}

QPixmap SymbolImageProvider::requestPixmap(const QString& id, QSize* size, const QSize& requestedSize)
{
    const qsizetype query = id.indexOf(QLatin1Char('?'));
    const QString name = id.left(query);
    const QColor tint = query < 0 ? QColor()
                                  : QColor(QLatin1Char('#') + QUrlQuery(id.mid(query + 1)).queryItemValue("tint"));

    const QSize wanted = requestedSize.isValid() ? requestedSize : QSize(32, 32);
    QIcon icon;
    for (const QString& themeName : themeNames(name)) {
        icon = QIcon::fromTheme(themeName);
        if (!icon.isNull())
            break;
    }
    QPixmap pixmap = icon.isNull() ? QPixmap(wanted) : icon.pixmap(wanted);
    if (icon.isNull()) {
        pixmap.fill(Qt::transparent);
    } else if (tint.isValid()) {
        QPainter painter(&pixmap);
        painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
        painter.fillRect(pixmap.rect(), tint);
    }
    if (size)
        *size = pixmap.size();
    return pixmap;
}
