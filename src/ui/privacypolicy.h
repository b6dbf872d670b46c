#pragma once

#include <QObject>
#include <QUrl>

// The privacy page that ships with the application, opened in the user's browser. The browser
// cannot read the application's resources, so the page is put beside the user's data first.
class PrivacyPolicy : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;
    // A file:// address of the page, or an empty one when it cannot be written.
    static QUrl pageUrl();
    Q_INVOKABLE bool open() const;
};
