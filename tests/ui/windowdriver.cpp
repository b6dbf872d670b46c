#include "windowdriver.h"

#include "common/languagemanager.h"
#include "ui/application.h"

#include <QDeadlineTimer>
#include <QGuiApplication>
#include <QStyleHints>
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

QQuickItem* entryNamed(OpenWindow& w, const char* listName, const QString& name)
{
    QQuickItem* list = shownItem(w.window->contentItem(), QString::fromLatin1(listName));
    if (!list)
        return nullptr;
    const std::function<QQuickItem*(QQuickItem*)> find = [&](QQuickItem* item) -> QQuickItem* {
        if (item->isVisible() && item->property("name").toString() == name && item->property("entryId").isValid()
            && item->property("selected").isValid())
            return item;
        for (QQuickItem* child : item->childItems()) {
            if (QQuickItem* found = find(child))
                return found;
        }
        return nullptr;
    };
    return find(list);
}

void clickEntry(OpenWindow& w, QQuickItem* entry, Qt::MouseButton button, Qt::KeyboardModifiers modifiers)
{
    const QPoint where = entry->mapToScene(QPointF(30, entry->height() / 2)).toPoint();
    QTest::mouseClick(w.window, button, modifiers, where);
    // Two clicks within the double-click interval would count as a double click.
    QTest::qWait(QGuiApplication::styleHints()->mouseDoubleClickInterval() + 20);
}

bool dragOnto(OpenWindow& w, QQuickItem* target, QMimeData& data, bool drop, const std::function<void()>& whileThere)
{
    const QPoint where = target->mapToScene(QPointF(target->width() / 2, target->height() / 2)).toPoint();
    const Qt::DropActions actions = Qt::CopyAction | Qt::MoveAction;
    QDragEnterEvent enter(where, actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.window, &enter);
    QDragMoveEvent move(where + QPoint(3, 3), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.window, &move);
    if (whileThere)
        whileThere();
    if (!drop) {
        QDragLeaveEvent leave;
        QCoreApplication::sendEvent(w.window, &leave);
        return false;
    }
    QDropEvent dropped(where + QPoint(3, 3), actions, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w.window, &dropped);
    return dropped.isAccepted();
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
