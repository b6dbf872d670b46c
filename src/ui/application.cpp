#include "application.h"

#include "privacypolicy.h"
#include "symbolimageprovider.h"
#include "textformatter.h"

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
