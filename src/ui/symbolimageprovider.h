#pragma once

#include <QQuickImageProvider>

// Serves "image://symbol/<name>" and "image://symbol/<name>?tint=rrggbb" for the symbol names
// the views use, drawn from the desktop's freedesktop icon theme through one table of
// equivalents; a tint paints the symbol's shape in that colour.
class SymbolImageProvider : public QQuickImageProvider
{
public:
    // Makes sure a theme is in use: without a desktop session Qt names none, and every symbol
    // would come out blank.
    SymbolImageProvider();
    QPixmap requestPixmap(const QString& id, QSize* size, const QSize& requestedSize) override;

    // The theme icon names tried, in order, for a symbol name.
    static QStringList themeNames(const QString& symbolName);
    // Every symbol name the table knows.
    static QStringList symbolNames();
};
