#include "application.h"

#include "pathcrumbs.h"
#include "privacypolicy.h"
#include "symbolimageprovider.h"
#include "textformatter.h"
#include "viewpreferences.h"

#include "app/macviewmodel.h"

#include <QQmlEngine>
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

bool loadMainWindow(QQmlApplicationEngine& engine, MacViewModel& viewModel)
{
    registerViewTypes(viewModel);
    engine.addImageProvider(QStringLiteral("symbol"), new SymbolImageProvider);
    engine.load(QUrl(QStringLiteral("qrc:/Zorvane/Main.qml")));
    return !engine.rootObjects().isEmpty();
}

} // namespace Application
