// Every symbol the window names is drawn by the icon theme the application ships with, and a
// tint paints the symbol's shape in that colour.
#include "ui/symbolimageprovider.h"

#include <QDirIterator>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QRegularExpression>
#include <QTest>

namespace {

// Symbol names as the sources write them: dotted literals in the views and the view model's
// file kinds, and the single-word ones given to a symbol property.
QSet<QString> namedSymbols()
{
    const QRegularExpression dotted(QStringLiteral(R"re("([a-z]+(?:\.[a-z]+)+)")re"));
    const QRegularExpression word(QStringLiteral(R"re((?:name|symbol|icon|systemImage): *"([a-z]+)")re"));
    const QRegularExpression literal(QStringLiteral(R"re(QStringLiteral\("([a-z]+(?:\.[a-z]+)+)"\))re"));
    QSet<QString> names;
    for (const char* folder : {"src/ui/qml", "src/app", "src/transfers"}) {
        QDirIterator it(QStringLiteral(ZORVANE_SOURCE_DIR "/") + QLatin1String(folder),
                        {QStringLiteral("*.qml"), QStringLiteral("*.cpp")}, QDir::Files);
        while (it.hasNext()) {
            const QString path = it.next();
            QFile file(path);
            file.open(QIODevice::ReadOnly);
            const QString text = QString::fromUtf8(file.readAll());
            const bool view = path.endsWith(QLatin1String(".qml"));
            for (const QRegularExpression& pattern : view ? QList{dotted, word} : QList{literal}) {
                for (const auto& match : pattern.globalMatch(text))
                    names << match.captured(1);
            }
        }
    }
    return names;
}

int opaquePixels(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0;
    return count;
}

} // namespace

class SymbolsTest : public QObject
{
    Q_OBJECT

private slots:
    void everySymbolTheWindowNamesIsDrawn()
    {
        SymbolImageProvider provider;
        const QStringList known = SymbolImageProvider::symbolNames();
        const QSet<QString> named = namedSymbols();
        QVERIFY(named.contains("wifi") && named.contains("doc.fill"));
        for (const QString& name : named)
            QVERIFY2(known.contains(name), qPrintable(name + " has no entry in the symbol table"));
        for (const QString& name : known) {
            QSize size;
            const QImage image = provider.requestPixmap(name, &size, QSize(16, 16)).toImage();
            QVERIFY2(opaquePixels(image) > 0, qPrintable(name + " draws nothing"));
        }
        // An unknown name draws nothing rather than failing.
        QCOMPARE(opaquePixels(provider.requestPixmap("no.such.symbol", nullptr, QSize(16, 16)).toImage()), 0);
    }

    void aTintPaintsTheShape()
    {
        SymbolImageProvider provider;
        const QImage plain = provider.requestPixmap("checkmark.circle.fill", nullptr, QSize(24, 24)).toImage();
        const QImage green = provider.requestPixmap("checkmark.circle.fill?tint=2fb344", nullptr, QSize(24, 24)).toImage();
        QVERIFY(opaquePixels(plain) > 0);
        QCOMPARE(opaquePixels(green), opaquePixels(plain));
        for (int y = 0; y < green.height(); ++y) {
            for (int x = 0; x < green.width(); ++x) {
                const QRgb pixel = green.pixel(x, y);
                if (qAlpha(pixel) == 255)
                    QCOMPARE(QColor(pixel).name(), QStringLiteral("#2fb344"));
            }
        }
    }
};

QTEST_MAIN(SymbolsTest)
#include "tst_symbols.moc"
