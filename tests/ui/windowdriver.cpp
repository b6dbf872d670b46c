#include "windowdriver.h"

#include "common/languagemanager.h"
#include "ui/application.h"

#include <QDeadlineTimer>
#include <QTest>

namespace windowdriver {

bool OpenWindow::open(QSize size)
{
    LanguageManager::shared();
    if (!Application::loadMainWindow(engine, viewModel))
        return false;
    window = qobject_cast<QQuickWindow*>(engine.rootObjects().first());
    if (!window)
        return false;
    if (size.isValid())
        window->resize(size);
    window->show();
    return QTest::qWaitForWindowExposed(window);
}

QQuickItem* shownItem(QQuickItem* item, const QString& name)
{
    if (item->objectName() == name)
        return item;
    for (QQuickItem* child : item->childItems()) {
        if (QQuickItem* found = shownItem(child, name))
            return found;
    }
    return nullptr;
}

QStringList visibleTexts(QQuickItem* item)
{
    QStringList texts;
    if (!item->isVisible())
        return texts;
    const QVariant text = item->property("text");
    if (text.isValid() && !text.toString().isEmpty())
        texts << text.toString();
    for (QQuickItem* child : item->childItems())
        texts << visibleTexts(child);
    return texts;
}

void type(QQuickWindow* window, const QString& text)
{
    for (const QChar ch : text)
        QTest::sendKeyEvent(QTest::Click, window, Qt::Key_unknown, QString(ch), Qt::NoModifier);
}

void click(QQuickWindow* window, QQuickItem* item)
{
    QPointF where = item->mapToScene(QPointF());
    for (int i = 0; i < 40; ++i) {
        QTest::qWait(25);
        const QPointF now = item->mapToScene(QPointF());
        if (now == where)
            break;
        where = now;
    }
    QTest::mouseClick(window, Qt::LeftButton, {},
                      item->mapToScene(QPointF(item->width() / 2, item->height() / 2)).toPoint());
}

QList<QPair<QString, bool>> menuLines(QObject* menu)
{
    QList<QPair<QString, bool>> lines;
    const int count = menu->property("count").toInt();
    for (int i = 0; i < count; ++i) {
        QQuickItem* item = nullptr;
        QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, item), Q_ARG(int, i));
        const QString text = item ? item->property("text").toString() : QString();
        if (!text.isEmpty())
            lines << qMakePair(text, item->isEnabled());
    }
    return lines;
}

QStringList texts(const QList<QPair<QString, bool>>& lines)
{
    QStringList all;
    for (const auto& line : lines)
        all << line.first;
    return all;
}

QQuickItem* menuEntry(QObject* menu, const QString& text)
{
    const int count = menu->property("count").toInt();
    for (int i = 0; i < count; ++i) {
        QQuickItem* item = nullptr;
        QMetaObject::invokeMethod(menu, "itemAt", Q_RETURN_ARG(QQuickItem*, item), Q_ARG(int, i));
        if (item && item->property("text").toString() == text)
            return item;
    }
    return nullptr;
}

QList<QPair<QString, bool>> openMenu(OpenWindow& w, const char* buttonName, const char* menuName)
{
    QObject* menu = named<QObject>(w.root(), menuName);
    click(w.window, named(w.root(), buttonName));
    QDeadlineTimer deadline(5000);
    while (!menu->property("opened").toBool() && !deadline.hasExpired())
        QTest::qWait(20);
    return menuLines(menu);
}

} // namespace windowdriver
