#include "application.h"

#include "pathcrumbs.h"
#include "privacypolicy.h"
#include "symbolimageprovider.h"
#include "textformatter.h"
#include "viewpreferences.h"

#include "app/macviewmodel.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QQmlEngine>
#include <QTranslator>
#include <QtQml/qqmlextensionplugin.h>

Q_IMPORT_QML_PLUGIN(ZorvanePlugin)

namespace Application {

void registerViewTypes(MacViewModel& viewModel)
{
    qmlRegisterSingletonInstance("Zorvane.State", 1, 0, "ViewModel", &viewModel);
    static TextFormatter formatter;
    qmlRegisterSingletonInstance("Zorvane.State", 1, 0, "Formatter", &formatter);
    // Made with the window, so a window opened again reads what was chosen last.
    auto* preferences = new ViewPreferences(&viewModel);
    qmlRegisterSingletonInstance("Zorvane.State", 1, 0, "ViewPreferences", preferences);
    static PathCrumbs crumbs;
    qmlRegisterSingletonInstance("Zorvane.State", 1, 0, "Crumbs", &crumbs);
    static PrivacyPolicy privacy;
    qmlRegisterSingletonInstance("Zorvane.State", 1, 0, "PrivacyPolicy", &privacy);
    qmlRegisterUncreatableType<TransferTask>("Zorvane.State", 1, 0, "TransferTask", QStringLiteral("made by the queue"));
}

// Qt's own words in the window (a file dialog's buttons, a text field's menu) in Chinese like
// the rest, when the system has Qt's translations.
void useChineseForQtsOwnTexts()
{
    static QTranslator* qtTexts = nullptr;
    if (qtTexts || !QCoreApplication::instance())
        return;
    qtTexts = new QTranslator(QCoreApplication::instance());
    if (qtTexts->load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qt"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(qtTexts);
}

bool loadMainWindow(QQmlApplicationEngine& engine, MacViewModel& viewModel)
{
    useChineseForQtsOwnTexts();
    registerViewTypes(viewModel);
    engine.addImageProvider(QStringLiteral("symbol"), new SymbolImageProvider);
    engine.load(QUrl(QStringLiteral("qrc:/Zorvane/Main.qml")));
    return !engine.rootObjects().isEmpty();
}

} // namespace Application
