#pragma once

#include "app/macviewmodel.h"

#include <QList>
#include <QMimeData>

#include <functional>
#include <QPair>
#include <QQmlApplicationEngine>
#include <QQuickItem>
#include <QQuickWindow>
#include <QString>
#include <QStringList>

// Driving the window in tests as a user would: finding its parts, clicking, typing, reading
// what it shows and what its menus offer.
namespace windowdriver {

// The window as the application opens it, over a view model of its own that watches for no
// phones by itself.
struct OpenWindow
{
    MacViewModel viewModel{{}, false};
    QQmlApplicationEngine engine;
    QQuickWindow* window = nullptr;

    // Loads and shows the window; false if it did not appear.
    bool open(QSize size = {});
    QObject* root() { return engine.rootObjects().first(); }
};

template <typename T = QQuickItem>
T* named(QObject* root, const char* name)
{
    return root->findChild<T*>(QString::fromLatin1(name));
}

// The first item called `name` in the visual tree under `item` (the rows a view makes from its
// model are not among its QObject children).
QQuickItem* shownItem(QQuickItem* item, const QString& name);
// The non-empty texts of `item` and everything under it that is visible.
QStringList visibleTexts(QQuickItem* item);
// Typed one character at a time into the focused item, as a keyboard would.
void type(QQuickWindow* window, const QString& text);
// A click in the middle of `item`, once it has stopped moving (a new menu entry is laid out a
// moment after the menu opens).
void click(QQuickWindow* window, QQuickItem* item);
// The texts of a menu's entries and lines, in order, with whether each can be chosen.
QList<QPair<QString, bool>> menuLines(QObject* menu);
QStringList texts(const QList<QPair<QString, bool>>& lines);
QQuickItem* menuEntry(QObject* menu, const QString& text);
// The entry (row or cell) of the file list `listName` that shows `name`.
QQuickItem* entryNamed(OpenWindow& w, const char* listName, const QString& name);
// A click on an entry, with modifiers or another button.
void clickEntry(OpenWindow& w, QQuickItem* entry, Qt::MouseButton button = Qt::LeftButton,
                Qt::KeyboardModifiers modifiers = {});
// A drag from elsewhere carrying `data` entering the middle of `target` and moving there, as the
// drag system delivers it. With `drop`, it is dropped; else it leaves again after `whileThere`.
// Whether the drop was accepted.
bool dragOnto(OpenWindow& w, QQuickItem* target, QMimeData& data, bool drop,
              const std::function<void()>& whileThere = {});
// Opens the menu behind `buttonName` with a click; its lines once it is open.
QList<QPair<QString, bool>> openMenu(OpenWindow& w, const char* buttonName, const char* menuName);

} // namespace windowdriver
