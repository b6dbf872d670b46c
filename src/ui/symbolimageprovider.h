#pragma once

#include <QQuickImageProvider>

// Serves "image://symbol/<name>" for the symbol names the views use, drawn from the desktop's
// freedesktop icon theme through one table of equivalents.
class SymbolImageProvider : public QQuickImageProvider
{
public:
    SymbolImageProvider();
    QPixmap requestPixmap(const QString& id, QSize* size, const QSize& requestedSize) override;

    // The theme icon names tried, in order, for a symbol name.
    static QStringList themeNames(const QString& symbolName);
};
