#include "app/macviewmodel.h"
#include "ui/application.h"
#include "ui/languagemanager.h"

#include <QGuiApplication>
#include <QIcon>
#include <QQmlApplicationEngine>
#include <QQuickStyle>

int main(int argc, char* argv[])
{
    QGuiApplication app(argc, argv);
    QCoreApplication::setOrganizationName(QStringLiteral("Zorvane"));
    QCoreApplication::setApplicationName(QStringLiteral("Zorvane"));
    QGuiApplication::setWindowIcon(QIcon(QStringLiteral(":/Zorvane/applogo.svg")));
    if (QIcon::themeName().isEmpty() || QIcon::themeName() == QLatin1String("hicolor"))
        QIcon::setThemeName(QStringLiteral("Adwaita"));
    QQuickStyle::setStyle(QStringLiteral("Basic"));

    LanguageManager::shared();
    MacViewModel viewModel;

    QQmlApplicationEngine engine;
    if (!Application::loadMainWindow(engine, viewModel))
        return 1;
    return QGuiApplication::exec();
}
